#include "tools/lua_api_doc/lua_api_markdown.h"

#include <cctype>
#include <map>
#include <set>
#include <sstream>
#include <utility>

namespace VadiZov::apidoc {

namespace {

using Key = std::pair<std::string, std::string>;  // scope, name

class DescriptionIndex {
public:
    DescriptionIndex(const std::vector<Description>& descriptions, std::vector<std::string>& problems)
        : problems_(problems)
    {
        for (const Description& d : descriptions) {
            if (!entries_.emplace(Key{d.scope, d.name}, &d).second)
                problems_.push_back("two descriptions of " + label(d.scope, d.name));
        }
    }

    // The description of a registered entry; a missing one is a problem.
    const Description* use(const std::string& scope, const std::string& name)
    {
        used_.insert({scope, name});
        auto found = entries_.find({scope, name});
        if (found == entries_.end()) {
            problems_.push_back("no description of " + label(scope, name));
            return nullptr;
        }
        return found->second;
    }

    // Descriptions of entries the tables do not hold.
    void reportUnused()
    {
        for (const auto& [key, d] : entries_) {
            if (!used_.count(key))
                problems_.push_back("the description of " + label(key.first, key.second) +
                                    " names nothing the API registers");
        }
    }

    static std::string label(const std::string& scope, const std::string& name)
    {
        if (scope.empty())
            return "global " + name;
        if (name.empty())
            return "class " + scope;
        return scope + "." + name;
    }

private:
    std::vector<std::string>& problems_;
    std::map<Key, const Description*> entries_;
    std::set<Key> used_;
};

// Table cells hold no bar and no line break.
std::string cell(const char* text)
{
    std::string out;
    for (const char* c = text ? text : ""; *c; ++c) {
        if (*c == '|')
            out += "\\|";
        else if (*c == '\n')
            out += ' ';
        else
            out += *c;
    }
    return out;
}

// The id Markdown renderers give a heading of one word: the word in lower case.
std::string anchor(std::string name)
{
    for (char& c : name)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

std::string code(const std::string& text) { return text.empty() ? "" : "`" + text + "`"; }

const char* globalKindTitle(GlobalKind kind)
{
    switch (kind) {
    case GlobalKind::Object: return "Global objects";
    case GlobalKind::Function: return "Global functions";
    case GlobalKind::Constant: return "Constants";
    }
    return "?";
}

std::string memberKindText(const ApiMember& m)
{
    if (m.kind == MemberKind::Property || m.kind == MemberKind::StaticProperty)
        return std::string(kindName(m.kind)) + (m.writable ? ", read-write" : ", read-only");
    return kindName(m.kind);
}

void writeGlobals(std::ostringstream& out, const ApiSurface& surface, DescriptionIndex& index)
{
    for (GlobalKind kind : {GlobalKind::Object, GlobalKind::Function, GlobalKind::Constant}) {
        out << "\n## " << globalKindTitle(kind) << "\n\n";
        if (kind == GlobalKind::Object)
            out << "| name | class | description |\n| --- | --- | --- |\n";
        else if (kind == GlobalKind::Function)
            out << "| function | usage | description |\n| --- | --- | --- |\n";
        else
            out << "| constant | value | description |\n| --- | --- | --- |\n";
        for (const ApiGlobal& g : surface.globals) {
            if (g.kind != kind)
                continue;
            const Description* d = index.use("", g.name);
            const char* text = d ? d->text : "";
            out << "| " << code(g.name) << " | ";
            if (kind == GlobalKind::Object)
                out << "[" << g.detail << "](#" << anchor(g.detail) << ")";
            else if (kind == GlobalKind::Function)
                out << code(cell(d ? d->usage : ""));
            else
                out << g.detail;
            out << " | " << cell(text) << " |\n";
        }
    }
}

void writeClass(std::ostringstream& out, const ApiClass& c, DescriptionIndex& index)
{
    out << "\n### " << c.name << "\n\n";
    const Description* own = index.use(c.name, "");
    out << cell(own ? own->text : "") << "\n";
    bool hasStatic = false;
    for (const ApiMember& m : c.members)
        hasStatic = hasStatic || m.kind == MemberKind::Constructor || m.kind == MemberKind::StaticFunction ||
                    m.kind == MemberKind::StaticProperty;
    if (hasStatic && !c.staticTableIsGlobal)
        out << "\nThe global `" << c.name << "` is an object of the class, not the class, so its constructor "
            << "and static members are registered but out of a script's reach.\n";
    if (c.members.empty()) {
        out << "\nNo members.\n";
        return;
    }
    out << "\n| member | kind | usage | description |\n| --- | --- | --- | --- |\n";
    for (const ApiMember& m : c.members) {
        const Description* d = index.use(c.name, m.name);
        out << "| " << code(m.name) << " | " << memberKindText(m) << " | " << code(cell(d ? d->usage : ""))
            << " | " << cell(d ? d->text : "") << " |\n";
    }
}

} // namespace

Reference writeReference(const ApiSurface& surface, const std::vector<Description>& descriptions)
{
    Reference ref;
    DescriptionIndex index(descriptions, ref.problems);
    std::ostringstream out;
    out << "# Lua API reference\n\n"
        << "Generated by `velkor-lua-api` from the scripting API's registration tables; the descriptions are\n"
        << "the table in `tools/lua_api_doc/lua_api_descriptions.cpp`. Do not edit this file: change the\n"
        << "table and run `build/tools/velkor-lua-api --out docs/lua-api.md`. The test `lua_api_doc_current`\n"
        << "fails when this file differs from what the tables give.\n\n"
        << "Every Lua state (the system state and each object's) gets all of it; `obj` is nil in the system\n"
        << "state. A method is called with a colon\n"
        << "(`obj:setNode(...)`), a property read and written with a dot (`obj.node_count`), a static member\n"
        << "through the class's global (`Settings.gravity`, `HighPerfTimer.getTime()`). How to use them:\n"
        << "[scripting.md](scripting.md).\n";
    writeGlobals(out, surface, index);
    out << "\n## Classes\n\n";
    for (const ApiClass& c : surface.classes)
        out << "[" << c.name << "](#" << anchor(c.name) << ") ";
    out << "\n";
    for (const ApiClass& c : surface.classes)
        writeClass(out, c, index);
    index.reportUnused();
    ref.markdown = out.str();
    return ref;
}

} // namespace VadiZov::apidoc
