#include "startup/read_fault_text.h"

#include "resources/string_table.h"

namespace tw {
namespace {

// The table's text with its "%1" replaced by `number`.
std::string WithNumber(int id, long number) {
  std::string text(LoadResString(id));
  const size_t at = text.find("%1");
  if (at != std::string::npos) text.replace(at, 2, std::to_string(number));
  return text;
}

}  // namespace

std::string ReadFaultText(const ReadFault& fault) {
  switch (fault.kind) {
    case ReadFaultKind::Refused:
      return std::string(LoadResString(1301));
    case ReadFaultKind::HttpStatus:
      return "HTTP " + std::to_string(fault.number);
    case ReadFaultKind::NoAnswer:
      return WithNumber(1302, fault.number);
    case ReadFaultKind::NameNotResolved:
      return std::string(LoadResString(1303));
    case ReadFaultKind::Aborted:
    case ReadFaultKind::Other:
      break;
  }
  return WithNumber(1304, fault.number);
}

}  // namespace tw
