#include "resources/string_table.h"

#include <array>
#include <utility>

namespace tw {
namespace {

constexpr std::array<std::pair<int, std::string_view>, 73> kStrings = {{
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
    {811, "Modulo ricostruito da una patch"},
    {812, "Patch non utilizzabile, si scarica il file intero"},
    // Log lines of what a run refuses or takes up again.
    {820, "Programma non eseguito: è il programma di aggiornamento"},
    {821, "File non sostituito: è un collegamento simbolico"},
    {822, "Percorso rifiutato: passa per un collegamento simbolico"},
    {823, "Programma di post-installazione rimasto in sospeso"},
    {824, "Programma di post-installazione non riuscito"},
    {825, "File occupato da un altro aggiornamento in corso"},
    {826, "Aggiornamento del programma installato"},
    {827, "Aggiornamento del programma non installato"},
    {828, "Programma di post-installazione già avviato da un avvio interrotto: non eseguito di nuovo"},
    {830, "Impossibile leggere il repository degli aggiornamenti"},
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
    // The repository's index refused (errors 30011 to 30020).
    {1211, "indice del repository assente"},
    {1212, "indice del repository non leggibile"},
    {1213, "indice del repository non firmato da una chiave configurata"},
    {1214, "indice del repository scaduto"},
    {1215, "indice di un altro repository"},
    {1216, "indice con la stessa serie di quello accettato ma contenuto diverso"},
    {1217, "indice più vecchio di quello accettato"},
    {1218, "impostazione PublicKey non valida: nessun repository viene accettato"},
    {1219, "documento di catalogo diverso dalla voce dell'indice"},
    {1220, "repository non raggiungibile: l'indice non è arrivato in tempo"},
    // Why a patch could not be used (appended to string 812).
    {1221, "patch assente nel repository"},
    {1222, "impronta della patch non valida"},
    {1223, "patch danneggiata"},
    {1224, "finestra della patch troppo grande"},
    {1225, "memoria insufficiente"},
    {1226, "file installato non leggibile"},
    {1227, "impronta del file ricostruito non valida"},
    {1228, "download della patch interrotto"},
    // Why the repository could not be read.
    {1301, "Connessione rifiutata"},
    {1302, "Nessuna risposta entro %1 secondi"},
    {1303, "Nome del server sconosciuto"},
    {1304, "Errore di rete %1"},
    // The run's progress beside the window's title.
    {1401, "%1 di %2 moduli"},
    // Message-box buttons.
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
