#!/usr/bin/env bash
# Runs tools/demo as a newcomer would on a machine without a display, then
# once more under Qt's offscreen platform, then with its window on an X
# display (Xvfb) used through tools/window-walk, and checks what it
# promises: the
# demo module and its dependencies installed in the demo suite, the
# registration, post-setup and batch programs run, nginx stopped, and
# nothing written outside the build tree.
#   demo_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source_dir=$1
build_dir=$2
scratch="$build_dir/demo-test"
demo="$scratch/demo"
failures=0
fail() { echo "FALLITO: $*" >&2; failures=$((failures + 1)); }

rm -rf "$scratch"
mkdir -p "$scratch/home/.config/Velmora s.r.l." "$scratch/tmp"
# The user's own settings, which the demo must leave alone.
user_settings="$scratch/home/.config/Velmora s.r.l./Tarnwick.ini"
printf '[Tarnwick]\nRemoteHost=aggiornamenti.utente.example/tarnwick\n' >"$user_settings"
cp "$user_settings" "$scratch/settings.before"
stamp="$scratch/stamp"
touch "$stamp"
sleep 1  # file times below count whole seconds on some file systems

run_demo() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XAUTHORITY -u XDG_RUNTIME_DIR \
    HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_DATA_HOME="$scratch/home/.local/share" \
    TMPDIR="$scratch/tmp" BUILD_DIR="$build_dir" DEMO_DIR="$demo" "$@" \
    "$source_dir/tools/demo" --no-build >"$scratch/out" 2>"$scratch/err"
}

# The window on Xvfb: the walk clicks and answers as a person would, and
# takes its pictures.
run_window() {
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XAUTHORITY -u XDG_RUNTIME_DIR \
    HOME="$scratch/home" XDG_CONFIG_HOME="$scratch/home/.config" XDG_DATA_HOME="$scratch/home/.local/share" \
    TMPDIR="$scratch/tmp" BUILD_DIR="$build_dir" DEMO_DIR="$demo" WALK_LOG="$scratch/out" \
    xvfb-run -a -s '-screen 0 1280x800x24' "$source_dir/tools/window-walk" "$scratch/pictures" 2>"$scratch/err"
}

same() { cmp -s "$1" "$2" || fail "$3"; }
contains() { grep -qF -- "$2" "$1" || fail "$3"; }
lines_with() { grep -cF -- "$2" "$1"; }

check_run() {
  local name=$1 status=$2
  local suite="$demo/suite" vendor="$demo/fornitore"
  echo "--- $name: uscita ---"; cat "$scratch/out"
  echo "--- $name: standard error ---"; cat "$scratch/err"
  [ "$status" -eq 0 ] || fail "$name: tools/demo è terminato con $status"
  for module in Eseguibili/Contabilita.exe Eseguibili/Contabilita.chm Eseguibili/Anagrafica.exe \
                Eseguibili/Componenti/Grafici.dll Eseguibili/Componenti/Stampa.ocx Dati/Listino.dat Dati/Modelli.dat; do
    same "$suite/$module" "$vendor/$module" "$name: $module non installato dal repository"
  done
  [ -e "$suite/Eseguibili/Fatturazione.exe" ] && fail "$name: il modulo OnDemand è stato installato senza marcatore"
  contains "$suite/Dati/Utenti/Impostazioni.dat" "scelte dall'utente" \
    "$name: un modulo ForceUpdate=0 già presente è stato sostituito"
  [ "$(stat -c %Y "$suite/Eseguibili/Magazzino.exe")" = "$(date -d '2025-11-04 10:00:00 UTC' +%s)" ] ||
    fail "$name: il modulo già aggiornato è stato scaricato di nuovo"
  # One line each: the run started from a fresh demo folder.
  [ "$(lines_with "$demo/esiti.txt" "registrato: Stampa.ocx")" = 1 ] || fail "$name: Stampa.ocx non registrato"
  [ "$(lines_with "$demo/esiti.txt" "eseguito: dopo_installazione.sh")" = 1 ] ||
    fail "$name: il programma post-installazione non è stato eseguito una volta"
  [ "$(lines_with "$demo/esiti.txt" "avviata: Velmora.sh")" = 1 ] || fail "$name: il programma @b non è partito"
  contains "$demo/home/.config/Velmora s.r.l./Tarnwick.ini" "RemoteHost=127.0.0.1:$(cat "$demo/nginx/port")/tarnwick" \
    "$name: le impostazioni della demo non puntano al suo repository"

  local pid port
  pid=$(cat "$demo/nginx/started.pid")
  port=$(cat "$demo/nginx/port")
  kill -0 "$pid" 2>/dev/null && fail "$name: nginx ($pid) è ancora in esecuzione"
  [ -e "$demo/nginx/nginx.pid" ] && fail "$name: nginx non si è fermato in modo ordinato"
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && fail "$name: la porta $port accetta ancora connessioni"

  same "$user_settings" "$scratch/settings.before" "$name: le impostazioni dell'utente sono cambiate"
  local stray
  stray=$(find "$scratch/home" "$scratch/tmp" -newer "$stamp" ! -type d)
  [ -z "$stray" ] || fail "$name: file scritti nella home o in TMPDIR dell'utente: $stray"
  stray=$(find "$source_dir" \( -path "$source_dir/.git" -o -path "$source_dir/build*" -o -path "$source_dir/fuzz/build" \
            -o -path "$build_dir" \) -prune -o -newer "$stamp" ! -type d -print)
  [ -z "$stray" ] || fail "$name: file scritti fuori dalla cartella di build: $stray"
}

run_demo
check_run "senza display" $?
contains "$scratch/out" "xvfb-run" "senza display: la demo non dice come vedere la finestra"
contains "$scratch/out" "@h" "senza display: la partenza non è nascosta"
# Without a display the log that the window would show goes to stderr.
contains "$scratch/err" "Inizio procedura di aggiornamento" "senza display: il registro non è sullo standard error"
contains "$scratch/err" "Fine procedura di aggiornamento" "senza display: il registro non ha la riga di chiusura"

# A second run starts from a fresh suite, whatever the first one left.
echo "resto della prima esecuzione" >"$demo/suite/Dati/Resto.dat"
run_demo QT_QPA_PLATFORM=offscreen
status=$?
[ -e "$demo/suite/Dati/Resto.dat" ] && fail "offscreen: la seconda esecuzione non è partita da una suite nuova"
check_run "offscreen" "$status"

run_window
status=$?
check_run "finestra" "$status"
contains "$scratch/out" "Nella finestra" "finestra: la demo non è partita con la finestra"
contains "$scratch/err" "risposte date: 7" "finestra: non sono state chieste sette conferme"
for picture in form_main_design_size form_main_listed form_main_question form_main_finished; do
  file "$scratch/pictures/$picture.png" 2>/dev/null | grep -q "PNG image data, 640 x 400\|PNG image data, 400 x 300" ||
    fail "finestra: immagine $picture.png mancante o di misura inattesa"
done

[ "$failures" -eq 0 ] && rm -rf "$scratch"
exit $((failures > 0))
