// formulist2: a small host for the Formulist2 component.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <string>

#include "automation/ClassRegistry.h"
#include "automation/Dispatch.h"
#include "automation/Text.h"
#include "component/CFunc.h"

namespace {

using automation::InvokeKind;
using automation::toUtf8;

std::string hex(automation::DispId id) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(id));
  return buffer;
}

const char* kindName(InvokeKind kind) {
  switch (kind) {
    case InvokeKind::Method: return "method";
    case InvokeKind::PropertyGet: return "get";
    default: return "let";
  }
}

// Prints the automation interface of Formulist2.CFunc as a host sees it.
void printMembers(std::ostream& out) {
  const component::CFunc cfunc;
  const automation::DispatchTable& table = cfunc.dispatchTable();
  out << toUtf8(component::CFunc::kProgId) << " (" << toUtf8(table.className()) << "), "
      << table.members().size() << " members\n";
  int slot = 1;
  for (const automation::Member& m : table.members()) {
    std::string params;
    for (const automation::Param& p : m.params) {
      if (!params.empty()) params += ", ";
      params += (p.optional ? "[" : "") + toUtf8(p.name) + " As " + toUtf8(automation::typeName(p.type)) +
                (p.pass == automation::Pass::ByRef ? " ByRef" : "") + (p.optional ? "]" : "");
    }
    out << slot++ << "\t" << hex(m.id) << "\t" << kindName(m.kind) << "\t" << toUtf8(m.name) << "(" << params
        << ")";
    if (m.result != automation::VarType::Empty) out << " As " << toUtf8(automation::typeName(m.result));
    out << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"formulist2 - the function wizard of the report designer"};
  app.set_version_flag("--version", "formulist2 9.2.0.708");
  app.require_subcommand(0, 1);
  auto* members = app.add_subcommand("members", "List the automation members of Formulist2.CFunc");
  CLI11_PARSE(app, argc, argv);

  component::registerComponentClasses(automation::classRegistry());
  if (members->parsed() || app.get_subcommands().empty()) {
    printMembers(std::cout);
  }
  return 0;
}
