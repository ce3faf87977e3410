// vqpkg: makes and checks the update packages that the updater carries behind its program.
#include <cstdio>
#include <cstring>

#include "tools/vqpkg/commands.h"
#include "tools/vqpkg/inspect.h"

namespace {

struct Command {
    const char* name;
    int (*run)(const CommandArgs& args);
    const char* usage;
};

const Command kCommands[] = {
    {"keygen", RunKeygen, "keygen DIR"},
    {"build", RunBuild, "build --updater EXE --xbi FILE [--keys DIR] [--timestamp SECONDS] --out FILE"},
    {"verify", RunVerify, "verify FILE [--keys DIR]"},
    {"inspect", RunInspect, "inspect FILE [--keys DIR]"},
};

int Usage() {
    std::fprintf(stderr, "usage:\n");
    for (const Command& command : kCommands) {
        std::fprintf(stderr, "  vqpkg %s\n", command.usage);
    }
    return 2;
}

}  // namespace

bool ParseArgs(const CommandArgs& args, const std::vector<std::string>& known, ParsedArgs* parsed,
               std::string* error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg.rfind("--", 0) != 0) {
            parsed->positional.push_back(arg);
            continue;
        }
        std::string name = arg.substr(2);
        bool isKnown = false;
        for (const std::string& k : known) {
            isKnown = isKnown || k == name;
        }
        if (!isKnown || i + 1 >= args.size()) {
            *error = isKnown ? "option " + arg + " needs a value" : "unknown option " + arg;
            return false;
        }
        parsed->options[name] = args[++i];
    }
    return true;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        return Usage();
    }
    for (const Command& command : kCommands) {
        if (std::strcmp(argv[1], command.name) == 0) {
            return command.run(CommandArgs(argv + 2, argv + argc));
        }
    }
    std::fprintf(stderr, "vqpkg: unknown command %s\n", argv[1]);
    return Usage();
}
