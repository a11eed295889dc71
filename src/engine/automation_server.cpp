#include "engine/automation_server.h"

#include <QCoreApplication>
#include <QDBusMessage>

#include "engine/automation_registration.h"
#include "engine/global.h"

namespace tw {
namespace {

constexpr char kIntrospection[] = R"(  <interface name="it.velmora.Tarnwick.Global">
    <annotation name="it.velmora.Tarnwick.HelpString" value="VELMORA - Motore di aggiornamento dei programmi installati"/>
    <annotation name="it.velmora.Tarnwick.Version" value="5.2"/>
    <method name="GetFullName">
      <arg name="result" type="s" direction="out"/>
    </method>
    <method name="IsUpdateAvailable">
      <arg name="Module" type="s" direction="in"/>
      <arg name="result" type="b" direction="out"/>
    </method>
    <method name="IsModuleAvailable">
      <arg name="Module" type="s" direction="in"/>
      <arg name="result" type="b" direction="out"/>
    </method>
    <method name="UpdateModule">
      <arg name="Module" type="s" direction="in"/>
      <arg name="result" type="b" direction="out"/>
    </method>
  </interface>
)";

}  // namespace

AutomationServer::AutomationServer(Global& global, std::chrono::milliseconds idle_limit)
    : global_(global) {
  idle_.setSingleShot(true);
  idle_.setInterval(idle_limit);
  QObject::connect(&idle_, &QTimer::timeout, [] { QCoreApplication::quit(); });
  idle_.start();
}

bool AutomationServer::Publish(QDBusConnection bus) {
  return bus.registerVirtualObject(kAutomationPath, this) && bus.registerService(kAutomationService);
}

QString AutomationServer::introspect(const QString&) const { return kIntrospection; }

bool AutomationServer::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
  if (message.interface() != kAutomationInterface && !message.interface().isEmpty()) return false;
  const QString method = message.member();
  const QList<QVariant> args = message.arguments();
  const bool has_module = args.size() == 1 && args[0].typeId() == QMetaType::QString;
  const std::string module = has_module ? args[0].toString().toStdString() : std::string();

  ++calls_in_progress_;
  idle_.stop();
  QDBusMessage reply;
  if (method == "GetFullName" && args.isEmpty()) {
    reply = message.createReply(QString::fromStdString(global_.GetFullName()));
  } else if (has_module && method == "IsUpdateAvailable") {
    reply = message.createReply(global_.IsUpdateAvailable(module));
  } else if (has_module && method == "IsModuleAvailable") {
    reply = message.createReply(global_.IsModuleAvailable(module));
  } else if (has_module && method == "UpdateModule") {
    reply = message.createReply(global_.UpdateModule(module));
  } else {
    reply = message.createErrorReply(QDBusError::UnknownMethod,
                                     "Metodo sconosciuto: " + method);
  }
  connection.send(reply);
  if (--calls_in_progress_ == 0) idle_.start();
  return true;
}

}  // namespace tw
