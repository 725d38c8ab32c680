#include "ui/ini_settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <string>

namespace {

QString value_name(const std::string& section, const std::string& key) {
    return QString::fromLatin1(section.c_str()) + QLatin1Char('/') +
           QString::fromLatin1(key.c_str());
}

std::string local(const QString& path) {
    return QDir::toNativeSeparators(path).toStdString();
}

// Why QSettings would not read the file as a private-profile reader does,
// one value a line; empty when it would. A line that leaves a quote open
// or ends in a backslash runs its value into the lines after it. Comment
// lines (";") are not read.
std::string unreadable(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return file.errorString().toStdString();
    }
    int number = 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        ++number;
        const QByteArray text = line.trimmed();
        if (text.startsWith(';')) {
            continue;
        }
        bool quoted = false;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] == '\\') {
                if (++i == text.size()) {
                    return "line " + std::to_string(number) + " ends in a backslash";
                }
            } else if (text[i] == '"') {
                quoted = !quoted;
            }
        }
        if (quoted) {
            return "a quote on line " + std::to_string(number) + " has no pair";
        }
    }
    if (QSettings(path, QSettings::IniFormat).status() != QSettings::NoError) {
        return "not an INI file";
    }
    return std::string();
}

// Why the file at `path` cannot be written, as far as can be seen from
// outside.
std::string write_trouble(const QString& path) {
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    if (!folder.exists()) {
        return "the folder " + local(folder.filePath()) + " does not exist";
    }
    if (!folder.isDir()) {
        return local(folder.filePath()) + " is a file, not a folder";
    }
    if (file.exists() && !file.isWritable()) {
        return local(path) + " is read-only";
    }
    if (!folder.isWritable()) {
        return "the folder " + local(folder.filePath()) + " is read-only";
    }
    return local(path) + " could not be written";
}

}  // namespace

IniSettingsStore::IniSettingsStore(const QString& path) : path_(path) {
    const std::string why = QFileInfo::exists(path) ? unreadable(path) : std::string();
    if (!why.empty()) {
        const QString aside = path + QStringLiteral(".bad");
        notice_ = "The settings file " + local(path) + " could not be read (" + why + "). ";
        if (!QFileInfo::exists(aside) && QFile::rename(path, aside)) {
            notice_ += "It was kept as " + local(aside) + ", and the address history starts empty.";
        } else {
            writable_ = false;
            error_ = local(path) + " could not be read, and " + local(aside) + " is taken";
            notice_ += "It stays as it is, and the address history will not be saved.";
        }
    }
    // An unreadable file left in place is not read either.
    settings_ = std::make_unique<QSettings>(writable_ ? path : QString(), QSettings::IniFormat);
}

std::string IniSettingsStore::read(const std::string& section, const std::string& key) {
    const QByteArray value =
        settings_->value(value_name(section, key)).toString().left(kSettingsValueLimit).toUtf8();
    return std::string(value.constData(), static_cast<size_t>(value.size()));
}

bool IniSettingsStore::write(const std::string& section, const std::string& key,
                             const std::string& value) {
    if (!writable_) {
        return false;
    }
    settings_->setValue(value_name(section, key),
                        QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
    return sync();
}

bool IniSettingsStore::remove(const std::string& section, const std::string& key) {
    if (!writable_) {
        return false;
    }
    if (!settings_->contains(value_name(section, key))) {
        return true;
    }
    settings_->remove(value_name(section, key));
    return sync();
}

bool IniSettingsStore::sync() {
    settings_->sync();
    if (settings_->status() == QSettings::NoError) {
        return true;
    }
    error_ = write_trouble(path_);
    return false;
}

QString IniSettingsStore::default_path(const QString& variant) {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QDir().mkpath(folder);
    QString name = QCoreApplication::applicationName();
    if (!variant.isEmpty()) {
        name += QLatin1Char('-') + variant;
    }
    return folder + QLatin1Char('/') + name + QStringLiteral(".INI");
}
