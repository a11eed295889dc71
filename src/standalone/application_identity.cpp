#include "standalone/application_identity.h"

#include <QCoreApplication>
#include <QString>

#include "resources/version_info.h"

namespace tw {
namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void SetApplicationIdentity() {
  QCoreApplication::setApplicationName(Q(version_info::kProduct));
  QCoreApplication::setOrganizationName(Q(version_info::kCompany));
  QCoreApplication::setApplicationVersion(Q(version_info::kVersion));
}

}  // namespace tw
