#!/bin/sh
# Fails when file-format code or the platform layer uses Qt Widgets.
src="$1"
status=0
for dir in mediadb omf platform resources; do
    [ -d "$src/$dir" ] || continue
    if grep -rnE 'QtWidgets|QWidget|QDialog|QMessageBox|QApplication' "$src/$dir"; then
        echo "widget code found in $src/$dir" >&2
        status=1
    fi
done
exit $status
