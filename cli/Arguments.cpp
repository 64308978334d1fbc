// SPDX-License-Identifier: Apache-2.0
#include <algorithm>
#include <cctype>

#include "cli/Cli.h"

namespace cli {

namespace {

const OptionRule* findLong(const std::vector<OptionRule>& rules, const std::string& name) {
    for (const auto& rule : rules)
        if (rule.name == name) return &rule;
    return nullptr;
}

const OptionRule* findShort(const std::vector<OptionRule>& rules, char letter) {
    for (const auto& rule : rules)
        if (rule.letter != 0 && rule.letter == letter) return &rule;
    return nullptr;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

Arguments ParseArguments(const std::vector<OptionRule>& rules, const std::vector<std::string>& args) {
    Arguments parsed;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || arg.size() < 2 || arg[0] != '-') {
            parsed.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const OptionRule* rule = nullptr;
        std::string value;
        bool inlineValue = false;
        std::string shown;
        if (arg[1] == '-') {
            const std::string::size_type equals = arg.find('=');
            const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
            shown = "--" + name;
            rule = findLong(rules, name);
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
                inlineValue = true;
            }
        } else {
            shown = arg.substr(0, 2);
            rule = findShort(rules, arg[1]);
            if (arg.size() > 2) {
                value = arg.substr(2);
                inlineValue = true;
            }
        }
        if (!rule) throw UsageError("unknown option " + engine::QuotedName(shown));
        if (rule->takesValue) {
            if (!inlineValue) {
                if (i + 1 >= args.size()) throw UsageError("the option " + shown + " needs a value");
                value = args[++i];
            }
        } else if (inlineValue) {
            throw UsageError("the option " + shown + " takes no value");
        }
        parsed.values[rule->name] = value;
    }
    return parsed;
}

int Choice(const Arguments& args, const std::string& option, const std::vector<std::string>& choices,
           int fallback) {
    if (!args.has(option)) return fallback;
    const std::string value = lower(args.get(option));
    for (size_t i = 0; i < choices.size(); ++i)
        if (choices[i] == value) return static_cast<int>(i);
    std::string list;
    for (const auto& choice : choices) list += (list.empty() ? "" : "|") + choice;
    throw UsageError("--" + option + " takes " + list + ", not " + engine::QuotedName(args.get(option)));
}

}  // namespace cli
