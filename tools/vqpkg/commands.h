// The subcommands of vqpkg; each gets the arguments behind its name and returns the exit code.
#pragma once

#include <map>
#include <string>
#include <vector>

using CommandArgs = std::vector<std::string>;

int RunKeygen(const CommandArgs& args);
int RunBuild(const CommandArgs& args);
int RunVerify(const CommandArgs& args);

// "--name value" options among positional arguments. False (with `error`) on an unknown option
// or one without its value.
struct ParsedArgs {
    std::map<std::string, std::string> options;
    std::vector<std::string> positional;
};
bool ParseArgs(const CommandArgs& args, const std::vector<std::string>& known, ParsedArgs* parsed,
               std::string* error);
