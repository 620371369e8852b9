#include "sim/program_options.h"

#include <sstream>

#include "kstbell_version.h"

namespace kstbell::sim {

namespace {

// The help's width, and where the options' texts and the exit codes' meanings begin.
constexpr std::size_t kHelpWidth = 92;
constexpr std::size_t kOptionColumn = 30;
constexpr std::size_t kExitColumn = 7;

// text's words in lines of at most width (a longer word alone on its line), joined by newlines.
std::string WrappedWords(const std::string& text, std::size_t width) {
    std::string out;
    std::size_t column = 0;
    std::istringstream words(text);
    for (std::string word; words >> word;) {
        if (column > 0 && column + 1 + word.size() > width) {
            out += '\n';
            column = 0;
        }
        if (column > 0) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
    }
    return out;
}

// The parser's formatter with each option's text wrapped to the help's width (CLI11 indents
// the lines after the first).
class TWrappingFormatter final : public CLI::Formatter {
  public:
    TWrappingFormatter() { column_width(kOptionColumn); }

    std::string make_option_desc(const CLI::Option* option) const override {
        return WrappedWords(CLI::Formatter::make_option_desc(option), kHelpWidth - kOptionColumn);
    }
};

// Extra words are gathered rather than refused by the parser, at every level, so that the first
// of them is named as an unknown option after the parse.
void GatherExtras(CLI::App& app) {
    app.allow_extras();
    for (CLI::App* sub : app.get_subcommands([](CLI::App*) { return true; }))
        GatherExtras(*sub);
}

}  // namespace

TUsageMistake::TUsageMistake(const std::string& what)
    : CLI::ParseError("UsageMistake", what, CLI::ExitCodes::ValidationError) {}

std::string ExitStatusText(const std::vector<TExitStatus>& codes) {
    std::string text = "EXIT STATUS\n";
    for (const TExitStatus& status : codes) {
        std::string line = "  " + std::to_string(status.Code);
        line.resize(kExitColumn, ' ');
        for (const char c : WrappedWords(status.Meaning, kHelpWidth - kExitColumn))
            line += c == '\n' ? "\n" + std::string(kExitColumn, ' ') : std::string(1, c);
        text += line + "\n";
    }
    return text;
}

void SetUpProgram(CLI::App& app, const std::string& program,
                  const std::vector<TExitStatus>& codes) {
    app.name(program);
    app.set_help_flag("-h,--help", "print this help and exit");
    app.set_version_flag("--version", program + " " + KSTBELL_VERSION,
                         "print the version and exit");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.formatter(std::make_shared<TWrappingFormatter>());
    app.footer(ExitStatusText(codes));
    app.failure_message([program](const CLI::App*, const CLI::Error& error) {
        return program + ": " + UsageMistakeText(error) + "\nRun " + program +
               " --help for the options.\n";
    });
}

CLI::Option* AddConfigOption(CLI::App& app, std::string& path, const std::string& help) {
    return app.add_option("--config", path, help)->type_name("FILE");
}

std::string UsageMistakeText(const CLI::Error& error) {
    const std::string what = error.what();
    // "--config: 1 required TEXT missing": the option came last, or before another option.
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) && what.ends_with(" missing")) {
        const auto colon = what.find(": ");
        if (colon != std::string::npos) return what.substr(0, colon) + " needs a value";
    }
    return what;
}

void ParseArguments(CLI::App& app, const std::vector<std::string>& args,
                    const std::function<void()>& check) {
    GatherExtras(app);
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // as the parser takes them
    app.parse(reversed);
    if (const auto extras = app.remaining(true); !extras.empty())
        throw TUsageMistake("unknown option " + extras.front());
    if (check) check();
}

std::optional<int> ParseProgramLine(CLI::App& app, const std::vector<std::string>& args,
                                    std::ostream& out, std::ostream& err,
                                    const std::function<void()>& check) {
    try {
        ParseArguments(app, args, check);
    } catch (const CLI::ParseError& e) {
        return app.exit(e, out, err) == 0 ? 0 : kExitUsage;
    }
    return std::nullopt;
}

}  // namespace kstbell::sim
