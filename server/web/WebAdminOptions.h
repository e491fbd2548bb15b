// The web admin's command-line options: `--web-admin [ADDRESS:]PORT`, `--web-cert FILE`,
// `--web-key FILE`, `--web-host NAME` (any number) and `--web-trusted-proxy ADDRESS`.
// Both `--name value` and `--name=value` are read; every other argument is left to the front
// end's own parser, which must let these through.
#pragma once

#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct WebAdminOptions {
    bool enabled = false;                          // --web-admin was given
    std::string address = "127.0.0.1";             // loopback unless an address is given
    uint16_t port = 0;                             // 0 only in tests: the system picks a free port
    std::string certFile, keyFile;                 // both or neither
    std::vector<std::string> hostNames;            // lowercase, without a trailing dot
    std::string trustedProxy;                      // a numeric address, or empty
    std::string accountsPath = "tarnwick/admins";  // the accounts beside the owner
    std::string tokensPath = "tarnwick/admin-tokens";  // the /metrics tokens

    bool UsesTls() const { return !certFile.empty(); }
};

struct WebAdminParse {
    std::optional<WebAdminOptions> options;  // set when the arguments were good
    std::string error;                       // otherwise one line naming the argument
};

// Arguments in order, the program name first (as QCoreApplication::arguments() gives them).
WebAdminParse ParseWebAdminOptions(const QStringList& arguments);

// True for the options this parser reads, in either form: for a front end's own parser.
bool IsWebAdminOption(const QString& argument);
// The options that take their value from the next argument when none follows an "=".
inline constexpr const char* kWebAdminOptionNames[] = {"--web-admin", "--web-cert", "--web-key",
                                                       "--web-host", "--web-trusted-proxy"};
