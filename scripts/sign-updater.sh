# Sourced by the Windows end-to-end script: makes a signed updater as a publisher does, with the
# stub and pak.exe of the build the driver comes from, under Wine, signing as the last step with
# osslsigncode and a self-signed certificate made on the spot, and checks it (osslsigncode
# verify, pak list, pak verify, pak info). Each command is shown with its output.
#   sign_updater_e2e DIR   makes DIR afresh and sets SIGNED_UPDATER to the signed updater's
#                          Windows path; the files it carries lie beside it. WINEPREFIX is set;
#                          the caller has set -euo pipefail.

# Shows a command, then runs it.
sign_updater_run() {
  local shown
  printf -v shown ' %q' "$@"
  echo "\$${shown}"
  "$@"
}

sign_updater_e2e() {
  local dir=$1 stub pak
  stub=$PWD/build/${VELMOR_WINE_PRESET:-win32}/VelmorUpdate.exe
  pak=$PWD/build/${VELMOR_WINE_PRESET:-win32}/tools/pak.exe
  rm -rf "$dir"
  mkdir -p "$dir"
  echo "== a signed updater, made as a publisher makes it (in $dir)"
  (
    cd "$dir"
    { echo "Velmor 1.01"; seq 1 20000; } >Velmor.EXE
    echo "update 1.01" >Update01.txt
    sign_updater_run wine "$pak" create Update.PAK --letters @
    sign_updater_run wine "$pak" add Update.PAK Update01.txt
    sign_updater_run wine "$pak" build-updater --stub "$stub" --game-exe Velmor.EXE \
      --pack Update.PAK -o Upd.exe
    sign_updater_run openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velmor Test" \
      -keyout key.pem -out cert.pem
    sign_updater_run osslsigncode sign -certs cert.pem -key key.pem -n "Velmor Update" \
      -in Upd.exe -out VelmorUpdate-1.01.exe
    sign_updater_run osslsigncode verify -CAfile cert.pem VelmorUpdate-1.01.exe
    sign_updater_run wine "$pak" list VelmorUpdate-1.01.exe
    sign_updater_run wine "$pak" verify VelmorUpdate-1.01.exe
    sign_updater_run wine "$pak" info VelmorUpdate-1.01.exe
  )
  local path="$dir/VelmorUpdate-1.01.exe"
  SIGNED_UPDATER="Z:${path//\//\\}"
}
