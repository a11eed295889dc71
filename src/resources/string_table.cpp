#include "resources/string_table.h"

#include <array>
#include <utility>

namespace tw {
namespace {

constexpr std::array<std::pair<int, std::string_view>, 44> kStrings = {{
    // Columns of the module list, and the splash.
    {101, "Modulo"},
    {102, "Locale"},
    {103, "Aggiornamento"},
    {104, "Stato"},
    {105, "Collegamento al server degli aggiornamenti..."},
    // Buttons and the main window's check box.
    {201, "Annulla"},
    {202, "Aggiorna"},
    {203, "Fine"},
    {204, "&Nascondi al prossimo avvio"},
    // Log lines.
    {801, "Inizio procedura di aggiornamento"},
    {802, "Fine procedura di aggiornamento"},
    {803, "Richiesta di conferma per il download di tutti gli aggiornamenti selezionati"},
    {804, "Richiesta di conferma per download del modulo"},
    {805, "Download del modulo effettuato con successo"},
    {806, "Errori durante il download del modulo"},
    {807, "Nessun aggiornamento disponibile per il download"},
    {808, "Inizio download del modulo"},
    {809, "Documento di catalogo rifiutato: firma non valida"},
    {810, "Modulo ignorato: il percorso non indica un file della suite"},
    {820, "Impossibile leggere il repository degli aggiornamenti"},
    // Messages.
    {901, "Chiudere la procedura di aggiornamento?"},
    {902, "Confermi il download di tutti gli aggiornamenti selezionati?"},
    {903, "Confermi il download del modulo?"},
    // There is no "Esplora Risorse" here: the file manager, or the menu's
    // action, is where the program is started from.
    {905, "Per utilizzare l'aggiornamento automatico, lanciare il programma Tarnwick dal gestore dei "
          "file (o dal menu delle applicazioni, voce \"Configura il repository\") e inserire il "
          "percorso del server da cui scaricare gli aggiornamenti"},
    {906, "Il percorso inserito non corrisponde ad un repository di aggiornamenti Velmora s.r.l."},
    {907, "Il percorso inserito corrisponde ad un repository di aggiornamenti Velmora s.r.l. e "
          "verrà usato per le installazioni e gli aggiornamenti successivi"},
    {908, "Si sono verificati alcuni errori durante l'aggiornamento."},
    // Status texts of the module list.
    {1001, "Pronto per l'aggiornamento"},
    {1002, "Download in corso..."},
    {1003, "Aggiornamento del modulo..."},
    {1004, "Aggiornamento effettuato"},
    {1005, "Errori durante l'aggiornamento"},
    {1006, "Pronto per l'installazione"},
    // Descriptions of the errors 30001 and 30002: a module file that does not
    // match its catalogue's digest, or a signed catalogue without one.
    {1201, "impronta del file non valida"},
    {1202, "impronta del file assente nel documento firmato"},
    // Message-box buttons.
    // Why the repository could not be read.
    {1301, "Connessione rifiutata"},
    {1302, "Nessuna risposta entro %1 secondi"},
    {1303, "Nome del server sconosciuto"},
    {1304, "Errore di rete %1"},
    // The run's progress beside the window's title.
    {1401, "%1 di %2 moduli"},
    {1101, "Sì"},
    {1102, "No"},
    {1103, "OK"},
    {1104, "Annulla"},
}};

}  // namespace

std::string_view LoadResString(int id) {
  for (const auto& [number, text] : kStrings)
    if (number == id) return text;
  return {};
}

}  // namespace tw
