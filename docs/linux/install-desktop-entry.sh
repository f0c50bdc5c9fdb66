#!/bin/sh
# Adds Nightpick to the desktop's application menu for this user, for the folder this
# script is in (the program folder): writes nightpick.desktop with that folder's paths
# under ${XDG_DATA_HOME:-~/.local/share}/applications. Run it again after moving the
# folder; "install-desktop-entry.sh --remove" takes the entry away.
set -eu
folder=$(cd "$(dirname "$0")" && pwd)
apps="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
entry="$apps/nightpick.desktop"
if [ "${1:-}" = "--remove" ]; then
  rm -f "$entry"
  echo "removed $entry"
  exit 0
fi
case "$folder" in
  *[\"\`\$\\]*) echo "install-desktop-entry.sh: the folder's name holds a character a desktop entry cannot quote: $folder" >&2; exit 1 ;;
esac
mkdir -p "$apps"
cat > "$entry.tmp" <<ENTRY
[Desktop Entry]
Type=Application
Version=1.0
Name=Nightpick
GenericName=Observatory scheduler
Comment=Keeps an automated observatory busy all night, unattended
Exec="$folder/nightpick"
Path=$folder
Icon=$folder/nightpick.svg
Terminal=false
Categories=Science;Astronomy;
ENTRY
mv "$entry.tmp" "$entry"
echo "wrote $entry"
