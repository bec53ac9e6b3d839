#include "platform/appkit/SettingsStore.h"

#include <QSettings>
#include <QStandardPaths>

namespace platform::appkit {

namespace {

constexpr const char* kStrings = "Strings";
constexpr const char* kIntegers = "Integers";

} // namespace

std::string SettingsFilePath(const std::string& domain) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString() +
           "/" + domain + ".conf";
}

NSUserDefaultsStore SettingsFileStore(const std::string& domain) {
    const QString path = QString::fromStdString(SettingsFilePath(domain));
    NSUserDefaultsStore store;
    store.load = [path] {
        NSDefaultsValues values;
        QSettings file(path, QSettings::IniFormat);
        file.beginGroup(kStrings);
        for (const QString& key : file.childKeys())
            values[key.toStdString()] = file.value(key).toString().toStdString();
        file.endGroup();
        file.beginGroup(kIntegers);
        for (const QString& key : file.childKeys())
            values[key.toStdString()] = long(file.value(key).toLongLong());
        file.endGroup();
        return values;
    };
    store.save = [path](const NSDefaultsValues& values) {
        QSettings file(path, QSettings::IniFormat);
        file.clear();
        for (const auto& [key, value] : values) {
            const QString name = QString::fromStdString(key);
            if (const long* number = std::get_if<long>(&value))
                file.setValue(QString(kIntegers) + "/" + name, qlonglong(*number));
            else
                file.setValue(QString(kStrings) + "/" + name,
                              QString::fromStdString(std::get<std::string>(value)));
        }
        file.sync();
        return file.status() == QSettings::NoError;
    };
    return store;
}

} // namespace platform::appkit
