#!/bin/sh
# Started by the desktop entry: runs the board in the user's own folder for it,
# $XDG_DATA_HOME/sorvane (by default ~/.local/share/sorvane), made at the first start. The board
# keeps its slot list in the folder it starts in and never changes folder itself, so this is
# where a user's board lives when it is started from the desktop's menu.

# The board beside the launcher, found before the change of folder below, so that a start by a
# relative path finds it too.
here=$(CDPATH= cd -- "$(dirname -- "$0")" && pwd) || { echo "sorvane: cannot find $0" >&2; exit 1; }
data=${XDG_DATA_HOME:-}
case $data in
  /*) ;;
  *) data=$HOME/.local/share ;;  # unset, or relative (which the desktop's rules ignore)
esac
folder=$data/sorvane
mkdir -p "$folder" && cd "$folder" || { echo "sorvane: cannot use $folder" >&2; exit 1; }
exec "$here/../../bin/sorvane" "$@"
