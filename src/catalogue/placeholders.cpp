#include "catalogue/placeholders.h"

namespace tw {

PlaceholderTable MakePlaceholderTable(const LocalFolders& f, char separator) {
  const std::string sep(1, separator);
  const std::string executables = f.root + sep + "Eseguibili";
  const std::string data = f.root + sep + "Dati";
  PlaceholderTable table;
  auto add = [&table](std::string_view token, std::string local, std::string remote) {
    table.local.Add(std::move(local), std::string(token));
    table.remote.Add(std::move(remote), std::string(token));
  };
  add("{ESEGUIBILI}", executables, "/Eseguibili");
  add("{DATI}", data, "/Dati");
  add("{COMPONENTI}", executables + sep + "Componenti", "/Eseguibili/Componenti");
  add("{UTENTI}", data + sep + "Utenti", "/Dati/Utenti");
  add("{WINDOWS}", f.windows, "/windir");
  add("{SYSTEM}", f.system, "/System");
  add("{FONTS}", f.fonts, "/Fonts");
  add("{PCID}", f.pc_folder, "{PcID}");
  return table;
}

}  // namespace tw
