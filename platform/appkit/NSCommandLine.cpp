#include "platform/appkit/NSApplicationLaunch.h"
#include "platform/appkit/WindowSystemBackend.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <QStringList>
#include <cstdio>

namespace platform::appkit {

NSParsedCommandLine NSParseCommandLine(int argc, char** argv, const NSApplicationLaunch& launch) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(launch.description));
    const QCommandLineOption help({"h", "help"}, "Shows this help and exits.");
    const QCommandLineOption version("version", "Shows the version and exits.");
    parser.addOption(help);
    parser.addOption(version);
    for (const NSCommandLineOption& option : launch.options)
        parser.addOption(option.valueName
                             ? QCommandLineOption(option.name, option.description, option.valueName)
                             : QCommandLineOption(option.name, option.description));
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    NSParsedCommandLine parsed;
    const auto refuse = [&](const QString& why) {
        std::fprintf(stderr, "%s: %s (see --help)\n", launch.program, qPrintable(why));
        parsed.exitStatus = 2;
        return parsed;
    };
    if (!parser.parse(arguments)) return refuse(parser.errorText());
    if (parser.isSet(help)) {
        // The toolkit's text names the program by its path; the desktop knows it by its name.
        QString text = parser.helpText();
        text.replace(QRegularExpression("^Usage: \\S+"), QString("Usage: ") + launch.program);
        std::fputs(qPrintable(text), stdout);
        parsed.exitStatus = 0;
        return parsed;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", launch.program, launch.version);
        parsed.exitStatus = 0;
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty())
        return refuse("unexpected argument '" + parser.positionalArguments().first() + "'");
    // In the order given; an option given twice counts once, with its last value.
    for (const QString& name : parser.optionNames()) {
        for (const NSCommandLineOption& option : launch.options) {
            if (name != option.name) continue;
            NSLaunchRequest request{option.name, qPrintable(parser.value(name))};
            std::erase_if(parsed.requests,
                          [&](const NSLaunchRequest& r) { return r.name == request.name; });
            if (launch.check) {
                const std::string why = launch.check(request);
                if (!why.empty()) return refuse(QString::fromStdString(why));
            }
            parsed.requests.push_back(std::move(request));
        }
    }
    if (parsed.requests.empty()) parsed.requests.push_back({"show", ""});
    return parsed;
}

std::string NSCheckX11Session() {
    return TheWindowSystem().SessionProblem();
}

} // namespace platform::appkit
