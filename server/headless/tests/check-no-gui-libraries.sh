#!/bin/sh
# Usage: check-no-gui-libraries.sh PROGRAM
# Fails when PROGRAM needs, directly (readelf) or through any library it loads (ldd), a widget,
# GUI, X11, Wayland or OpenGL library: a box without a screen must not need the desktop stack.
set -eu
program=$1
gui='libQt6(Gui|Widgets|OpenGL|DBus|XcbQpa)|libX[a-z0-9]*\.so|libxcb|libxkb|libGL|libEGL|libOpenGL|libwayland|libvulkan|libdrm|libfontconfig|libfreetype'
direct=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
loaded=$(ldd "$program")
if echo "$loaded" | grep -q 'not found'; then
    echo "$loaded" | grep 'not found'
    exit 1
fi
found=$(printf '%s\n%s\n' "$direct" "$loaded" | grep -E "$gui" || true)
if [ -n "$found" ]; then
    echo "$program needs desktop libraries:"
    echo "$found"
    exit 1
fi
echo "$(echo "$loaded" | wc -l) libraries, none of them a desktop one"
