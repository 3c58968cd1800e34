#!/bin/sh
# A local print server with a virtual PDF printer as the default printer, for the print tests.
#   print-server.sh start   starts cupsd when it is not running, adds the printer QuillmergePDF,
#                           makes it the default and prints the folder where its PDFs land
#   print-server.sh stop    removes the printer and stops cupsd if this script started it
# Running it again changes nothing. Needs root (or password-less sudo) to set things up; without
# either it says so and leaves the print tests to skip themselves.
PRINTER=QuillmergePDF
OUT=/var/spool/cups-pdf/quillmerge
CONF=/etc/cups/cups-pdf.conf
PIDFILE=/run/quillmerge-cupsd.pid

if [ "$(id -u)" = 0 ]; then
    SUDO=
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    SUDO="sudo -n"
else
    echo "print-server: not root and no password-less sudo; print tests will be skipped" >&2
    exit 0
fi

scheduler_running() {
    lpstat -r 2>/dev/null | grep -q "is running"
}

# Sets `key value` in cups-pdf.conf, whether the key is present, commented out or missing.
set_conf() {
    if grep -q "^#\{0,1\}$1 " "$CONF"; then
        $SUDO sed -i "s|^#\{0,1\}$1 .*|$1 $2|" "$CONF"
    else
        echo "$1 $2" | $SUDO tee -a "$CONF" >/dev/null
    fi
}

start() {
    for tool in cupsd lpadmin lpstat; do
        if ! command -v "$tool" >/dev/null 2>&1 && [ ! -x "/usr/sbin/$tool" ]; then
            echo "print-server: $tool is missing (packages cups, cups-client)" >&2
            exit 0
        fi
    done
    PATH="$PATH:/usr/sbin"
    if [ ! -f "$CONF" ]; then
        echo "print-server: $CONF is missing (package printer-driver-cups-pdf)" >&2
        exit 0
    fi
    # Every job lands in one known folder, named with its job id so no job overwrites another.
    set_conf Out "$OUT"
    set_conf AnonDirName "$OUT"
    set_conf Label 2
    set_conf UserUMask 0022
    $SUDO mkdir -p "$OUT"
    $SUDO chmod 1777 "$OUT"

    if ! scheduler_running; then
        $SUDO mkdir -p /run/cups /var/spool/cups /var/cache/cups /var/log/cups
        $SUDO cupsd
        $SUDO sh -c "pgrep -xo cupsd > $PIDFILE" 2>/dev/null
        i=0
        while ! scheduler_running; do
            i=$((i + 1))
            if [ $i -gt 100 ]; then
                echo "print-server: cupsd did not come up" >&2
                exit 1
            fi
            sleep 0.1
        done
    fi

    if ! lpstat -p "$PRINTER" >/dev/null 2>&1; then
        model=$(lpinfo -m 2>/dev/null | awk 'tolower($0) ~ /cups-pdf/ { print $1; exit }')
        if [ -n "$model" ]; then
            $SUDO lpadmin -p "$PRINTER" -E -v cups-pdf:/ -m "$model" 2>/dev/null
        else
            ppd=$(ls /usr/share/ppd/cups-pdf/*.ppd 2>/dev/null | head -n 1)
            if [ -z "$ppd" ]; then
                echo "print-server: no cups-pdf driver found" >&2
                exit 1
            fi
            $SUDO lpadmin -p "$PRINTER" -E -v cups-pdf:/ -P "$ppd" 2>/dev/null
        fi
    fi
    # The default PDF-to-PostScript step of the queue drops the text layer of the fonts, so the
    # PDFs could not be read back; cairo's keeps it.
    $SUDO lpadmin -p "$PRINTER" -o pdftops-renderer-default=pdftocairo
    $SUDO cupsenable "$PRINTER" 2>/dev/null || $SUDO /usr/sbin/cupsenable "$PRINTER"
    $SUDO cupsaccept "$PRINTER" 2>/dev/null || $SUDO /usr/sbin/cupsaccept "$PRINTER"
    $SUDO lpadmin -d "$PRINTER"
    echo "$OUT"
}

stop() {
    PATH="$PATH:/usr/sbin"
    if scheduler_running && lpstat -p "$PRINTER" >/dev/null 2>&1; then
        $SUDO lpadmin -x "$PRINTER"
    fi
    if [ -f "$PIDFILE" ]; then
        pid=$(cat "$PIDFILE")
        if [ -n "$pid" ] && [ "$(ps -o comm= -p "$pid" 2>/dev/null)" = cupsd ]; then
            $SUDO kill "$pid"
        fi
        $SUDO rm -f "$PIDFILE"
    fi
}

case "$1" in
    start) start ;;
    stop) stop ;;
    *)
        echo "usage: $0 start|stop" >&2
        exit 2
        ;;
esac
