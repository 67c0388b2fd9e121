// The sendlogs program: the commands, the options every command takes, "help COMMAND" and
// the version, parsed as one command line.
#include <iostream>
#include <sstream>

#include "Commands.h"
#include "service/ProxyConnector.h"

namespace cli {

CLI::App* addCommand(Program& program, CLI::App& parent, const std::string& name,
                     const std::string& description, const std::string& footer,
                     std::function<int()> run) {
    CLI::App* command = parent.add_subcommand(name, description);
    command->footer(std::string(kGlobalOptionsHelp) + (footer.empty() ? "" : "\n" + footer));
    command->callback([&program, run = std::move(run)] { program.selected = run; });
    return command;
}

namespace {

// In the list of commands, each command's description up to its first line end.
class HelpFormatter : public CLI::Formatter {
  public:
    std::string make_subcommand(const CLI::App* command) const override {
        std::stringstream out;
        const std::string& text = command->get_description();
        CLI::detail::format_help(out, command->get_name(), text.substr(0, text.find('\n')),
                                 column_width_);
        return out.str();
    }
};

// "sendlogs sandbox create": the program and the commands parsed so far.
std::string commandPath(const CLI::App& program) {
    std::string path = program.get_name();
    for (const CLI::App* at = &program; !at->get_subcommands().empty();) {
        at = at->get_subcommands().back();
        path += " " + at->get_name();
    }
    return path;
}

// "sendlogs help [COMMAND...]": the help of the program or of one of its commands.
void addHelpCommand(Program& program) {
    auto topic = std::make_shared<std::vector<std::string>>();
    CLI::App* help = program.app.add_subcommand("help", "describe a command (help COMMAND)");
    help->add_option("COMMAND", *topic, "Command to describe (as in \"help sandbox create\")");
    help->callback([&program, topic] {
        program.selected = [&program, topic]() -> int {
            const CLI::App* at = &program.app;
            std::string path;
            for (const std::string& name : *topic) {
                path = path.empty() ? at->get_name() : path + " " + at->get_name();
                try {
                    at = at->get_subcommand(name);
                } catch (const CLI::OptionNotFound&) {
                    return usageError("unknown command \"" + name + "\"");
                }
            }
            std::cout << at->help(path);
            return kExitOk;
        };
    });
}

int parseAndRun(Program& program, int argc, char** argv) {
    CLI::App& app = program.app;
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return kExitOk;
    } catch (const CLI::CallForAllHelp&) {
        std::cout << app.help("", CLI::AppFormatMode::All);
        return kExitOk;
    } catch (const CLI::CallForVersion& e) {
        std::cout << e.what() << "\n";
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        const std::vector<std::string> rest = app.remaining();
        if (app.get_subcommands().empty() && !rest.empty() && rest.front()[0] != '-')
            return usageError("unknown command \"" + rest.front() +
                              "\"; \"sendlogs --help\" lists the commands");
        printError(e.what());
        std::cerr << "Run \"" << commandPath(app) << " --help\" for the options.\n";
        return kExitUsage;
    }
    if (!program.selected) {
        std::cerr << app.help();
        return kExitUsage;
    }
    return program.selected();
}

}  // namespace
}  // namespace cli

int main(int argc, char** argv) {
    cli::Program program{
        CLI::App("Collect, extract, scrub and send the product's logs.", "sendlogs"), {}, {}};
    CLI::App& app = program.app;
    auto formatter = std::make_shared<cli::HelpFormatter>();
    formatter->label("SUBCOMMAND", "COMMAND");
    app.formatter(formatter);
    // Commands take the program's options after their own, and name no further command.
    app.fallthrough();
    app.group("Commands");
    app.require_subcommand(0, 1);
    app.set_version_flag("-V,--version", "sendlogs " SENDLOGS_VERSION,
                         "Print the program's version");
    cli::addGlobalOptions(app, program.common);
    cli::addCollectCommand(program);
    cli::addExtractCommand(program);
    cli::addScrubCommand(program);
    cli::addVerifyCommand(program);
    cli::addSandboxCommand(program);
    cli::addRegistryCommand(program);
    cli::addUploadCommand(program);
    cli::addMkdirCommand(program);
    cli::addServeCommand(program);
    cli::addHelpCommand(program);
    app.add_subcommand("version", "print the program's version")->callback([&program] {
        program.selected = [] {
            std::cout << "sendlogs " SENDLOGS_VERSION "\n";
            return cli::kExitOk;
        };
    });
    app.footer(cli::kExitStatusHelp);
    // Requests for clients behind the proxy reach them through their own services.
    service::installProxyConnector();
    return cli::parseAndRun(program, argc, argv);
}
