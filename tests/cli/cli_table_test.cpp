// The table of verbs against what is written about it elsewhere: every verb and option of the
// parser appears in the man page, and the bash completion offers exactly the verbs and options
// the parser takes.

#include <gtest/gtest.h>
#include <unistd.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "cli/command_line.h"

namespace kstbell::cli::test {
namespace {

std::string ReadText(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The names an option is typed with ("-d", "--device"); positionals have none.
std::set<std::string> OptionNames(const CLI::App& app) {
    std::set<std::string> names;
    for (const CLI::Option* option : app.get_options()) {
        for (const auto& s : option->get_snames())
            names.insert("-" + s);
        for (const auto& l : option->get_lnames())
            names.insert("--" + l);
    }
    return names;
}

struct TSurface {
    std::set<std::string> Global;
    struct TVerbSurface {
        std::vector<std::string> Words;
        std::set<std::string> Options;
    };
    std::vector<TVerbSurface> Verbs;
};

TSurface Surface() {
    TCommandLine line;
    CLI::App app;
    std::vector<CLI::App*> verbApps;
    BuildCommandLine(app, line, verbApps);
    app.set_version_flag("--version", "");
    TSurface surface;
    surface.Global = OptionNames(app);
    for (std::size_t i = 0; i < line.Verbs.size(); ++i) {
        std::istringstream words{std::string(line.Verbs[i]->Info().Name)};
        TSurface::TVerbSurface verb;
        for (std::string w; words >> w;)
            verb.Words.push_back(w);
        verb.Options = OptionNames(*verbApps[i]);
        surface.Verbs.push_back(verb);
    }
    return surface;
}

// The man page as plain text, cut into its sections' entries (.TP paragraphs).
std::vector<std::string> ManEntries(const std::string& section) {
    std::string text = ReadText(std::string(KSTBELL_SOURCE_DIR) + "/docs/man/kstbellctl.1");
    text = std::regex_replace(text, std::regex(R"(\\f[BIRP])"), "");
    text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
    text = std::regex_replace(text, std::regex(R"(\\&)"), "");
    const auto start = text.find(".SH " + section);
    EXPECT_NE(start, std::string::npos) << section;
    const auto end = text.find("\n.SH ", start + 1);
    const std::string part = text.substr(start, end - start);
    std::vector<std::string> entries;
    for (std::size_t at = 0; (at = part.find(".TP", at)) != std::string::npos; ++at)
        entries.push_back(part.substr(at, part.find(".TP", at + 1) - at) + "\n");
    return entries;
}

bool HasWord(const std::string& text, const std::string& word) {
    return std::regex_search(
        text, std::regex("(^|[^-\\w])" + std::regex_replace(word, std::regex("-"), "\\-") +
                         "($|[^-\\w])"));
}

TEST(CliTable, TheManPageNamesEveryVerbAndOption) {
    const TSurface surface = Surface();
    const auto verbs = ManEntries("VERBS");
    const auto options = ManEntries("OPTIONS");
    for (const std::string& name : surface.Global) {
        if (name == "-h") continue;  // --help names it
        bool found = false;
        for (const auto& entry : options)
            found = found || HasWord(entry, name);
        EXPECT_TRUE(found) << "global option " << name;
    }
    for (const auto& verb : surface.Verbs) {
        std::string name;
        for (const auto& w : verb.Words)
            name += (name.empty() ? "" : " ") + w;
        // The entry whose tag (the line after .TP) names every word of the verb tells its
        // options too.
        const std::string* entry = nullptr;
        for (const auto& e : verbs) {
            const std::string tag = e.substr(0, e.find('\n', e.find('\n') + 1));
            bool all = true;
            for (const auto& w : verb.Words)
                all = all && HasWord(tag, w);
            if (all && !entry) entry = &e;
        }
        ASSERT_NE(entry, nullptr) << "verb " << name;
        for (const std::string& option : verb.Options)
            if (option != "-h" && option != "--help") {
                EXPECT_TRUE(HasWord(*entry, option)) << name << " " << option;
            }
    }
}

// What the bash completion offers for each line typed, one line of words per query.
std::vector<std::set<std::string>> Offered(const std::vector<std::vector<std::string>>& lines) {
    std::string script =
        "source /usr/share/bash-completion/bash_completion\n"
        "source '" KSTBELL_SOURCE_DIR
        "/packaging/kstbellctl.bash-completion'\n"
        "offered() {\n"
        "  COMP_WORDS=(\"$@\"); COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
        "  COMP_LINE=\"${COMP_WORDS[*]}\"; COMP_POINT=${#COMP_LINE}; COMPREPLY=()\n"
        "  _kstbellctl kstbellctl \"${COMP_WORDS[COMP_CWORD]}\" \"${COMP_WORDS[COMP_CWORD - 1]}\"\n"
        "  echo \"${COMPREPLY[*]}\"\n"
        "}\n";
    for (const auto& words : lines) {
        script += "offered kstbellctl";
        for (const auto& w : words)
            script += " '" + w + "'";
        script += "\n";
    }
    const std::string path = ::testing::TempDir() + "completion-" + std::to_string(::getpid());
    std::ofstream(path) << script;
    FILE* pipe = ::popen(("bash " + path).c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    std::string output;
    char buf[4096];
    for (std::size_t n; pipe && (n = std::fread(buf, 1, sizeof buf, pipe)) > 0;)
        output.append(buf, n);
    if (pipe) {
        EXPECT_EQ(::pclose(pipe), 0) << output;
    }
    std::remove(path.c_str());
    std::vector<std::set<std::string>> offered;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        offered.emplace_back();
        for (std::string w; words >> w;)
            offered.back().insert(w);
    }
    EXPECT_EQ(offered.size(), lines.size()) << output;
    offered.resize(lines.size());
    return offered;
}

TEST(CliTable, TheCompletionOffersExactlyTheVerbsAndOptionsOfTheParser) {
    const TSurface surface = Surface();
    std::set<std::string> globalLong;
    for (const auto& name : surface.Global)
        if (name.rfind("--", 0) == 0) globalLong.insert(name);
    // The first words, each group's second words, and the options after each verb.
    std::set<std::string> first;
    std::map<std::string, std::set<std::string>> groups;
    std::vector<std::vector<std::string>> queries{{""}};
    std::vector<std::set<std::string>> wanted(1);
    for (const auto& verb : surface.Verbs) {
        first.insert(verb.Words.front());
        if (verb.Words.size() == 2) groups[verb.Words[0]].insert(verb.Words[1]);
        std::vector<std::string> typed = verb.Words;
        typed.push_back("--");
        queries.push_back(typed);
        std::set<std::string> options = globalLong;
        for (const auto& o : verb.Options)
            if (o.rfind("--", 0) == 0) options.insert(o);
        wanted.push_back(options);
    }
    wanted[0] = first;
    for (const auto& [group, verbs] : groups) {
        queries.push_back({group, ""});
        wanted.push_back(verbs);
    }
    const auto offered = Offered(queries);
    for (std::size_t i = 0; i < queries.size(); ++i) {
        std::string typed;
        for (const auto& w : queries[i])
            typed += w + " ";
        EXPECT_EQ(offered[i], wanted[i]) << "completing: kstbellctl " << typed;
    }
}

}  // namespace
}  // namespace kstbell::cli::test
