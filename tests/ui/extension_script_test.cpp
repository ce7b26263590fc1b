// The extension script, exactly, and the escaped language literal.
#include <gtest/gtest.h>

#include "extension_script.h"
#include "test_support.h"

using VadiZov::ui::BuildExtensionScript;
using VadiZov::ui::JsStringLiteral;

TEST(ExtensionScript, FixedTextIs777CharactersExactly)
{
    EXPECT_EQ(VadiZov::ui::ExtensionScriptFixedText(), ui_test::kFixedScript);
    EXPECT_EQ(VadiZov::ui::ExtensionScriptFixedText().size(), 777u);
}

TEST(ExtensionScript, EnUs)
{
    const std::string expected =
        std::string(ui_test::kFixedScript) + "velkor.language=\"en-US\";})();";
    EXPECT_EQ(BuildExtensionScript("en-US"), expected);
    EXPECT_EQ(BuildExtensionScript("en-US").size(), 777u + 24u + 5u);
}

TEST(ExtensionScript, AnotherLanguage)
{
    EXPECT_EQ(BuildExtensionScript("de-DE"),
              std::string(ui_test::kFixedScript) + "velkor.language=\"de-DE\";})();");
    EXPECT_EQ(BuildExtensionScript("pt-BR-x-velkor").size(), 777u + 33u + 5u);
}

TEST(ExtensionScript, EmptyLanguageHasNoLanguageStatement)
{
    EXPECT_EQ(BuildExtensionScript(""), std::string(ui_test::kFixedScript) + "})();");
    EXPECT_EQ(BuildExtensionScript("").size(), 782u);
}

TEST(ExtensionScript, OrdinaryValuesAreUnchangedInTheLiteral)
{
    for (const char* v : {"en-US", "de-DE", "zh-Hans-CN", "fr", "x_y.z", "caf\xC3\xA9", "'single'"})
        EXPECT_EQ(JsStringLiteral(v), std::string("\"") + v + "\"") << v;
}

TEST(ExtensionScript, QuotesAndLineBreaksInTheLanguageAreEscaped)
{
    EXPECT_EQ(JsStringLiteral("a\"b"), "\"a\\\"b\"");
    EXPECT_EQ(JsStringLiteral("a\\b"), "\"a\\\\b\"");
    EXPECT_EQ(JsStringLiteral("a\nb\rc\td"), "\"a\\nb\\rc\\td\"");
    EXPECT_EQ(JsStringLiteral(std::string("\x01\x1f\x7f", 3)), "\"\\x01\\x1f\\x7f\"");
    EXPECT_EQ(JsStringLiteral("\xE2\x80\xA8|\xE2\x80\xA9|\xE2\x80\xA6"),
              "\"\\u2028|\\u2029|\xE2\x80\xA6\"");  // U+2026 stays as it is
    // A crafted value stays one string: the script keeps its shape.
    const std::string crafted = "x\";velkor.sendGameEngine('pwned');//";
    EXPECT_EQ(BuildExtensionScript(crafted),
              std::string(ui_test::kFixedScript) +
                  "velkor.language=\"x\\\";velkor.sendGameEngine('pwned');//\";})();");
}
