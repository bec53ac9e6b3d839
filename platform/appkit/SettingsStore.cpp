#include "platform/appkit/SettingsStore.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::appkit {

namespace {

constexpr const char* kStrings = "Strings";
constexpr const char* kIntegers = "Integers";

// What loading found out about the file, for the save at quit. (Its writer keeps the mode of a
// file it replaces.)
struct FileState {
    bool writable = true;
};

std::string Error() {
    return std::strerror(errno);
}

std::string FolderOf(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

// The first line the settings format cannot take: not UTF-8 text, or neither a group, a comment
// nor key=value (the format's reader drops such lines without a word); 0 when all are good.
int FirstDamagedLine(const QByteArray& bytes) {
    int number = 0;
    for (const QByteArray& line : bytes.split('\n')) {
        ++number;
        QStringDecoder utf8(QStringDecoder::Utf8);
        const QString text = utf8.decode(line);
        const QString trimmed = text.trimmed();
        if (utf8.hasError() || text.contains(QChar(0))) return number;
        if (trimmed.isEmpty() || trimmed.startsWith(';') || trimmed.startsWith('#') ||
            (trimmed.startsWith('[') && trimmed.endsWith(']')) || trimmed.contains('='))
            continue;
        return number;
    }
    return 0;
}

// Looks at the file before it is read and says what is wrong with it; a damaged file is kept
// aside as <path>.bad first, so that the save at quit loses nothing.
FileState Inspect(const std::string& path, std::string& problem) {
    FileState state;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        const std::string folder = FolderOf(path);
        if (errno == ENOENT && ::access(folder.c_str(), F_OK) == 0 &&
            ::access(folder.c_str(), W_OK) != 0) {
            problem = folder + " cannot be written to (" + Error() +
                      "): the choices made now will not be kept";
            state.writable = false;
        }
        return state;
    }
    if (S_ISDIR(st.st_mode)) {
        problem = path + " is a folder, not a settings file: the choices made now will not be kept";
        state.writable = false;
        return state;
    }
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        problem = path + " cannot be read (" + file.errorString().toStdString() +
                  "): the saved choices are not used, and the file is left as it is";
        state.writable = false;
        return state;
    }
    if (const int line = FirstDamagedLine(file.readAll())) {
        const std::string bad = path + ".bad";
        QFile::remove(QString::fromStdString(bad));
        if (!file.copy(QString::fromStdString(bad)) ||
            ::chmod(bad.c_str(), st.st_mode & 07777) != 0) {
            problem = path + " is damaged at line " + std::to_string(line) +
                      ", and no copy of it could be kept: it is left as it is, and the choices "
                      "made now will not be kept";
            state.writable = false;
            return state;
        }
        problem = path + " is damaged at line " + std::to_string(line) +
                  ": what could not be read is not used, and the whole file is kept as " + bad;
    }
    if (::access(path.c_str(), W_OK) != 0) {
        problem =
            path + " cannot be written to (" + Error() + "): the choices made now will not be kept";
        state.writable = false;
    }
    return state;
}

} // namespace

std::string SettingsFilePath(const std::string& domain) {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString() +
           "/" + domain + ".conf";
}

NSUserDefaultsStore SettingsFileStore(const std::string& domain) {
    const std::string path = SettingsFilePath(domain);
    const QString qpath = QString::fromStdString(path);
    const auto state = std::make_shared<FileState>();
    NSUserDefaultsStore store;
    store.load = [path, qpath, state](std::string& problem) {
        *state = Inspect(path, problem);
        NSDefaultsValues values;
        QSettings file(qpath, QSettings::IniFormat);
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
    store.save = [path, qpath, state](const NSDefaultsValues& values, std::string& problem) {
        // What stopped the load has been said; the file stays as it is.
        if (!state->writable) return false;
        QSettings file(qpath, QSettings::IniFormat);
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
        if (file.status() != QSettings::NoError) {
            problem = path + " could not be written: the choices made now are lost";
            return false;
        }
        return true;
    };
    return store;
}

} // namespace platform::appkit
