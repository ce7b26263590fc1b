#include "cef/cef_command_line.h"

#include <string>

namespace {

// Chromium's POSIX switch syntax: "--name[=value]" or "-name[=value]".
bool IsSwitch(const std::string& arg, std::string* name, std::string* value)
{
    size_t prefix = 0;
    if (arg.compare(0, 2, "--") == 0)
        prefix = 2;
    else if (arg.compare(0, 1, "-") == 0)
        prefix = 1;
    if (prefix == 0 || prefix == arg.size())
        return false;
    std::string body = arg.substr(prefix);
    size_t eq = body.find('=');
    *name = body.substr(0, eq);
    *value = eq == std::string::npos ? std::string() : body.substr(eq + 1);
    return true;
}

std::string Quoted(const std::string& arg)
{
    if (!arg.empty() && arg.find_first_of(" \t\"\\") == std::string::npos)
        return arg;
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '\\')
            out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

class CommandLineImpl : public CefCommandLine {
public:
    bool IsValid() override { return true; }
    bool IsReadOnly() override { return false; }
    CefRefPtr<CefCommandLine> Copy() override
    {
        CefRefPtr<CommandLineImpl> copy = new CommandLineImpl();
        copy->program_ = program_;
        copy->switchArgs_ = switchArgs_;
        copy->switches_ = switches_;
        copy->arguments_ = arguments_;
        return copy.get();
    }
    void InitFromArgv(int argc, const char* const* argv) override
    {
        Reset();
        if (argc > 0 && argv && argv[0])
            program_ = argv[0];
        bool parseSwitches = true;
        for (int i = 1; i < argc && argv; ++i) {
            if (!argv[i])
                continue;
            std::string arg = argv[i];
            std::string name, value;
            if (parseSwitches && arg == "--") {
                parseSwitches = false;
            } else if (parseSwitches && IsSwitch(arg, &name, &value)) {
                switchArgs_.push_back(CefString(arg));
                switches_[CefString(name)] = CefString(value);
            } else {
                arguments_.push_back(CefString(arg));
            }
        }
    }
    void Reset() override
    {
        program_.clear();
        switchArgs_.clear();
        switches_.clear();
        arguments_.clear();
    }
    void GetArgv(std::vector<CefString>& argv) override
    {
        argv.clear();
        argv.push_back(program_);
        argv.insert(argv.end(), switchArgs_.begin(), switchArgs_.end());
        if (!arguments_.empty())
            argv.push_back(CefString("--"));
        argv.insert(argv.end(), arguments_.begin(), arguments_.end());
    }
    CefString GetCommandLineString() override
    {
        std::vector<CefString> argv;
        GetArgv(argv);
        std::string out;
        for (size_t i = 0; i < argv.size(); ++i) {
            if (i)
                out.push_back(' ');
            out += Quoted(argv[i].ToString());
        }
        return out;
    }
    CefString GetProgram() override { return program_; }
    void SetProgram(const CefString& program) override { program_ = program; }
    bool HasSwitches() override { return !switches_.empty(); }
    bool HasSwitch(const CefString& name) override { return switches_.count(name) != 0; }
    CefString GetSwitchValue(const CefString& name) override
    {
        auto it = switches_.find(name);
        return it == switches_.end() ? CefString() : it->second;
    }
    void GetSwitches(SwitchMap& switches) override { switches = switches_; }
    void AppendSwitch(const CefString& name) override { AppendSwitchWithValue(name, CefString()); }
    void AppendSwitchWithValue(const CefString& name, const CefString& value) override
    {
        std::string arg = "--" + name.ToString();
        if (!value.empty())
            arg.append("=").append(value.ToString());
        switchArgs_.push_back(CefString(arg));
        switches_[name] = value;
    }
    bool HasArguments() override { return !arguments_.empty(); }
    void GetArguments(ArgumentList& arguments) override { arguments = arguments_; }
    void AppendArgument(const CefString& argument) override { arguments_.push_back(argument); }

private:
    CefString program_;
    std::vector<CefString> switchArgs_;  // the switches as written, in order
    SwitchMap switches_;
    ArgumentList arguments_;

    IMPLEMENT_REFCOUNTING(CommandLineImpl)
};

} // namespace

CefRefPtr<CefCommandLine> CefCommandLine::CreateCommandLine() { return new CommandLineImpl(); }
