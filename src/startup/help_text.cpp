#include "startup/help_text.h"

#include "resources/version_info.h"

namespace tw {

std::string HelpText() {
  std::string text = std::string(version_info::kProduct) + " " + std::string(version_info::kVersion) + " - " +
                     std::string(version_info::kDescription) + "\n\n";
  text +=
      "Uso:\n"
      "  Tarnwick                      aggiorna il programma di avvio; senza un repository\n"
      "                                configurato ne chiede l'indirizzo\n"
      "  Tarnwick host                 chiede di nuovo l'indirizzo del repository, lo prova\n"
      "                                e lo memorizza\n"
      "  Tarnwick [opzioni]            apre la finestra principale con i moduli da aggiornare\n"
      "\n"
      "Opzioni della finestra principale (maiuscole e minuscole sono uguali; il valore di\n"
      "un'opzione arriva fino all'opzione seguente):\n"
      "  @m, @module MODULO            aggiorna il modulo indicato e i moduli da cui dipende,\n"
      "                                per esempio '{ESEGUIBILI}\\Contabilita.exe' (tra apici in\n"
      "                                una shell, che altrimenti toglie la barra rovesciata)\n"
      "                                (senza: tutti i moduli del repository)\n"
      "  @c, @confirm [1]              chiede conferma prima di scaricare: senza @m una sola\n"
      "                                domanda per tutti gli aggiornamenti, con @m una per\n"
      "                                ogni modulo\n"
      "  @b, @batch COMANDO            programma da avviare alla chiusura, con i suoi argomenti\n"
      "  @h, @hidden [1]               lavora senza mostrare la finestra: elenca, aggiorna e\n"
      "                                chiude; senza display il registro va sullo standard error\n"
      "\n"
      "Altre opzioni:\n"
      "  --regserver                   registra il server di automazione sul bus di sessione\n"
      "                                dell'utente\n"
      "  --unregserver                 toglie quella registrazione\n"
      "  --version                     mostra la versione ed esce\n"
      "  --help                        mostra questo aiuto ed esce\n"
      "\n"
      "Esempio, come lo avvia il programma di avvio della suite:\n"
      "  Tarnwick @m '{ESEGUIBILI}\\Contabilita.exe' @c @b /opt/velmora/Eseguibili/Velmora\n"
      "\n"
      "Il programma deve risiedere nella cartella Eseguibili della suite. Le impostazioni\n"
      "stanno in $XDG_CONFIG_HOME/Velmora s.r.l./Tarnwick.ini (~/.config se non impostata).\n";
  return text;
}

}  // namespace tw
