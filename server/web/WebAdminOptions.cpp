#include "WebAdminOptions.h"

#include <boost/asio/ip/address.hpp>

#include "OptionText.h"

namespace {

constexpr qsizetype kLongestPath = 4096;
constexpr qsizetype kLongestHostName = 253;

std::string Bad(const QString& option, const QString& value, const char* why) {
    return BadOptionValue(option, value, QLatin1String(why)).toStdString();
}

std::optional<std::string> NumericAddress(const QString& text) {
    boost::system::error_code error;
    const auto address = boost::asio::ip::make_address(text.toStdString(), error);
    if (error) return std::nullopt;
    return address.to_string();
}

// "[ADDRESS:]PORT", an IPv6 address in brackets: "8080", "0.0.0.0:8080", "[::1]:8080".
std::string ReadListen(const QString& value, WebAdminOptions& options) {
    const QString option = QStringLiteral("--web-admin");
    QString portText = value;
    if (value.startsWith(QLatin1Char('['))) {
        const qsizetype close = value.indexOf(QLatin1String("]:"));
        if (close < 0) return Bad(option, value, "expected [ADDRESS]:PORT for an IPv6 address");
        const auto address = NumericAddress(value.mid(1, close - 1));
        if (!address || address->find(':') == std::string::npos)
            return Bad(option, value, "not an IPv6 address");
        options.address = *address;
        portText = value.mid(close + 2);
    } else if (const qsizetype colon = value.lastIndexOf(QLatin1Char(':')); colon >= 0) {
        const auto address = NumericAddress(value.left(colon));
        if (!address || address->find(':') != std::string::npos)
            return Bad(option, value, "expected a numeric address such as 0.0.0.0 or [::]");
        options.address = *address;
        portText = value.mid(colon + 1);
    }
    bool digits = !portText.isEmpty() && portText.size() <= 5;
    for (QChar c : portText) digits = digits && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const int port = digits ? portText.toInt() : 0;
    if (port < 1 || port > 65535) return Bad(option, value, "the port must be 1 to 65535");
    options.port = static_cast<uint16_t>(port);
    options.enabled = true;
    return {};
}

std::string ReadFile(const QString& option, const QString& value, std::string& into) {
    if (value.isEmpty() || value.size() > kLongestPath || value.contains(QChar(0)))
        return Bad(option, value, "expected a file name");
    into = value.toStdString();
    return {};
}

std::string ReadHostName(const QString& value, WebAdminOptions& options) {
    QString name = value.toLower();
    if (name.endsWith(QLatin1Char('.'))) name.chop(1);
    bool good = !name.isEmpty() && name.size() <= kLongestHostName;
    for (QChar c : name)
        good = good && ((c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                        (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') ||
                        c == QLatin1Char('.'));
    if (!good) return Bad(QStringLiteral("--web-host"), value, "expected a host name");
    options.hostNames.push_back(name.toStdString());
    return {};
}

std::string Store(const QString& option, const QString& value, WebAdminOptions& options) {
    if (option == QLatin1String("--web-admin")) return ReadListen(value, options);
    if (option == QLatin1String("--web-cert")) return ReadFile(option, value, options.certFile);
    if (option == QLatin1String("--web-key")) return ReadFile(option, value, options.keyFile);
    if (option == QLatin1String("--web-host")) return ReadHostName(value, options);
    const auto address = NumericAddress(value);
    if (!address) return Bad(option, value, "expected a numeric address");
    options.trustedProxy = *address;
    return {};
}

QString OptionName(const QString& argument) {
    const qsizetype equals = argument.indexOf(QLatin1Char('='));
    return equals < 0 ? argument : argument.left(equals);
}

}  // namespace

bool IsWebAdminOption(const QString& argument) {
    const QString name = OptionName(argument);
    for (const char* known : kWebAdminOptionNames)
        if (name == QLatin1String(known)) return true;
    return false;
}

WebAdminParse ParseWebAdminOptions(const QStringList& arguments) {
    WebAdminOptions options;
    bool anyTlsOrHost = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (!IsWebAdminOption(argument)) continue;
        const QString option = OptionName(argument);
        QString value;
        if (option.size() < argument.size()) {
            value = argument.mid(option.size() + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            return {std::nullopt,
                    QStringLiteral("option %1 needs a value").arg(option).toStdString()};
        }
        if (std::string error = Store(option, value, options); !error.empty())
            return {std::nullopt, error};
        if (option != QLatin1String("--web-admin")) anyTlsOrHost = true;
    }
    if (options.certFile.empty() != options.keyFile.empty())
        return {std::nullopt, "options --web-cert and --web-key go together"};
    if (anyTlsOrHost && !options.enabled)
        return {std::nullopt, "the --web-* options need --web-admin [ADDRESS:]PORT"};
    return {options, {}};
}
