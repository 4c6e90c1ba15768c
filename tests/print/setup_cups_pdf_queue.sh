#!/bin/sh
# Sets up a PDF printer queue "OrnavexPDF" as the default printer, so the print
# tests have a real spooler. Run as root; running it again changes nothing.
# Needs: cups, cups-client, cups-bsd, printer-driver-cups-pdf, poppler-utils.
# Prints the folder that receives the PDFs.
set -eu

QUEUE=OrnavexPDF
OUT_DIR=/var/spool/cups-pdf/ornavex
CONF=/etc/cups/cups-pdf.conf

if [ "$(id -u)" -ne 0 ]; then
    echo "setup_cups_pdf_queue.sh: must run as root" >&2
    exit 1
fi

# Every job lands in one known folder, whoever prints it.
mkdir -p "$OUT_DIR"
chmod 1777 "$OUT_DIR"
if [ -f "$CONF" ]; then
    sed -i -e '/^[#[:space:]]*Out[[:space:]]/d' -e '/^[#[:space:]]*AnonDirName[[:space:]]/d' "$CONF"
fi
[ -s "$CONF" ] && [ -n "$(tail -c 1 "$CONF")" ] && echo >>"$CONF"
printf 'Out %s\nAnonDirName %s\n' "$OUT_DIR" "$OUT_DIR" >>"$CONF"

socket_ready() {
    lpstat -r 2>/dev/null | grep -q "is running"
}

if ! socket_ready; then
    # No service manager here: start the daemon itself and wait for it.
    cupsd
    tries=0
    until socket_ready; do
        tries=$((tries + 1))
        if [ "$tries" -gt 50 ]; then
            echo "setup_cups_pdf_queue.sh: cupsd did not come up" >&2
            exit 1
        fi
        sleep 0.2
    done
fi

ppd=$(lpinfo -m 2>/dev/null | awk 'tolower($0) ~ /cups-pdf/ && /_opt/ {print $1; exit}')
if [ -z "$ppd" ]; then
    ppd=$(lpinfo -m 2>/dev/null | awk 'tolower($0) ~ /cups-pdf/ {print $1; exit}')
fi
if [ -z "$ppd" ]; then
    echo "setup_cups_pdf_queue.sh: no cups-pdf driver found (printer-driver-cups-pdf)" >&2
    exit 1
fi

lpadmin -p "$QUEUE" -E -v cups-pdf:/ -m "$ppd" 2>/dev/null
lpadmin -d "$QUEUE"
lpoptions -d "$QUEUE" >/dev/null
cupsenable "$QUEUE"
cupsaccept "$QUEUE"

echo "$OUT_DIR"
