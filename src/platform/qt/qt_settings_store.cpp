#include "platform/qt/qt_settings_store.h"

#include <QDir>
#include <QString>

#include "platform/settings_file_format.h"

namespace tw {
namespace {

bool ReadFile(QIODevice& device, QSettings::SettingsMap& map) {
  const QByteArray bytes = device.readAll();
  for (const auto& [key, value] : settings_file::Parse(std::string_view(bytes.data(), bytes.size())))
    map.insert(QString::fromStdString(key), QString::fromStdString(value));
  return true;
}

bool WriteFile(QIODevice& device, const QSettings::SettingsMap& map) {
  settings_file::Entries entries;
  for (auto it = map.cbegin(); it != map.cend(); ++it)
    entries.emplace(it.key().toStdString(), it.value().toString().toStdString());
  const std::string text = settings_file::Serialize(entries);
  return device.write(text.data(), static_cast<qint64>(text.size())) ==
         static_cast<qint64>(text.size());
}

QSettings::Format SettingsFormat() {
  static const QSettings::Format format = QSettings::registerFormat("ini", ReadFile, WriteFile);
  return format;
}

// A section written "Tarnwick\LastModifiedDate" is the group
// "Tarnwick/LastModifiedDate"; the key is encoded so that QSettings never
// takes a "/" or "\" of a path for a group separator.
QString FullKey(std::string_view section, std::string_view key) {
  std::string group(section);
  for (char& c : group)
    if (c == '\\') c = '/';
  return QString::fromStdString(group + "/" + settings_file::EncodeKey(key));
}

// $XDG_CONFIG_HOME, or ~/.config when it is unset, read when the store is
// made (QSettings' own default is fixed at its first use in the process).
QString ConfigHome() {
  const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
  if (!xdg.isEmpty()) return QString::fromLocal8Bit(xdg);
  return QDir::homePath() + "/.config";
}

}  // namespace

QtSettingsStore::QtSettingsStore(std::string product) : product_(std::move(product)) {}
QtSettingsStore::~QtSettingsStore() = default;

QtSettingsStore::File& QtSettingsStore::For(std::string_view application) {
  auto it = files_.find(application);
  if (it == files_.end()) {
    const QString path = ConfigHome() + "/" + QString::fromStdString(std::string(application)) +
                         "/" + QString::fromStdString(product_) + ".ini";
    it = files_.emplace(std::string(application), File{std::make_unique<QSettings>(path, SettingsFormat())}).first;
  }
  return it->second;
}

std::string QtSettingsStore::Read(std::string_view application, std::string_view section,
                                  std::string_view key, std::string_view default_value) {
  File& file = For(application);
  QSettings& settings = *file.settings;
  // Takes in what another process wrote (and writes out what is pending);
  // a stat of the file (and Qt's look at the time zone) when nothing
  // changed, which a batch pays once.
  if (!file.synced_in_batch) {
    settings.sync();
    file.synced_in_batch = batch_depth_ > 0;
  }
  const QVariant value = settings.value(FullKey(section, key));
  return value.isValid() ? value.toString().toStdString() : std::string(default_value);
}

bool QtSettingsStore::Write(std::string_view application, std::string_view section,
                            std::string_view key, std::string_view value) {
  QSettings& settings = *For(application).settings;
  settings.setValue(FullKey(section, key), QString::fromStdString(std::string(value)));
  return settings.status() == QSettings::NoError;
}

bool QtSettingsStore::Delete(std::string_view application, std::string_view section,
                             std::string_view key) {
  QSettings& settings = *For(application).settings;
  settings.remove(FullKey(section, key));
  return settings.status() == QSettings::NoError;
}

void QtSettingsStore::Flush() {
  for (auto& [application, file] : files_) file.settings->sync();
}

void QtSettingsStore::EndBatch() {
  if (batch_depth_ > 0 && --batch_depth_ == 0)
    for (auto& [application, file] : files_) file.synced_in_batch = false;
}

std::string QtSettingsStore::FilePath(std::string_view application) {
  return For(application).settings->fileName().toStdString();
}

}  // namespace tw
