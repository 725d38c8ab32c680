#include "ui/ini_settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace {

QString value_name(const std::string& section, const std::string& key) {
    return QString::fromLatin1(section.c_str()) + QLatin1Char('/') +
           QString::fromLatin1(key.c_str());
}

}  // namespace

IniSettingsStore::IniSettingsStore(const QString& path) : settings_(path, QSettings::IniFormat) {}

std::string IniSettingsStore::read(const std::string& section, const std::string& key) {
    const QByteArray value =
        settings_.value(value_name(section, key)).toString().left(kSettingsValueLimit).toUtf8();
    return std::string(value.constData(), static_cast<size_t>(value.size()));
}

void IniSettingsStore::write(const std::string& section, const std::string& key,
                             const std::string& value) {
    settings_.setValue(value_name(section, key),
                       QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
    settings_.sync();
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
