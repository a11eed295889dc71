#include "automation/automation_server.h"

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
  // The idle time counts only while no call waits or runs.
  queue_.OnIdle([this] { idle_.start(); });
}

bool AutomationServer::Publish(QDBusConnection bus) {
  return bus.registerVirtualObject(kAutomationPath, this) && bus.registerService(kAutomationService);
}

void AutomationServer::Open() { queue_.Open(); }

QString AutomationServer::introspect(const QString&) const { return kIntrospection; }

bool AutomationServer::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
  if (message.interface() != kAutomationInterface && !message.interface().isEmpty()) return false;
  // GetFullName needs nothing of the repository: it is answered at once,
  // also while the start-up's self-update waits on a silent repository.
  if (message.member() == "GetFullName") {
    connection.send(Answer(message));
    // A call, even this one, starts the idle time afresh.
    if (queue_.Idle()) idle_.start();
    return true;
  }
  // The reply goes out when the call's turn has come and gone; meanwhile
  // the event loop keeps taking further calls.
  message.setDelayedReply(true);
  idle_.stop();
  queue_.Submit([this, message, connection] { connection.send(Answer(message)); });
  return true;
}

QDBusMessage AutomationServer::Answer(const QDBusMessage& message) {
  const QString method = message.member();
  const QList<QVariant> args = message.arguments();
  const bool has_module = args.size() == 1 && args[0].typeId() == QMetaType::QString;
  const std::string module = has_module ? args[0].toString().toStdString() : std::string();
  if (method == "GetFullName" && args.isEmpty())
    return message.createReply(QString::fromStdString(global_.GetFullName()));
  if (has_module && method == "IsUpdateAvailable")
    return message.createReply(global_.IsUpdateAvailable(module));
  if (has_module && method == "IsModuleAvailable")
    return message.createReply(global_.IsModuleAvailable(module));
  if (has_module && method == "UpdateModule") return message.createReply(global_.UpdateModule(module));
  return message.createErrorReply(QDBusError::UnknownMethod, "Metodo sconosciuto: " + method);
}

}  // namespace tw
