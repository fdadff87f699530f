#!/usr/bin/env bash
# Runs a command against a CUPS scheduler of its own, with one cups-pdf
# queue "OrvalenPDF" as its default printer; the system's scheduler and its
# queues are left alone. The command sees the scheduler through CUPS_SERVER.
# Exits 77 (skipped) when no scheduler can be started here: not root, cupsd
# or the cups-pdf backend missing, or the scheduler not coming up.
set -euo pipefail

skip() {
    echo "SKIP: $*" >&2
    exit 77
}

[[ $# -ge 1 ]] || { echo "usage: $0 command [args...]" >&2; exit 2; }
[[ $(id -u) -eq 0 ]] || skip "a private scheduler needs root (its backends run as root)"
cupsd=$(command -v cupsd || echo /usr/sbin/cupsd)
[[ -x $cupsd ]] || skip "cupsd is not installed (package cups)"
[[ -x /usr/lib/cups/backend/cups-pdf ]] || skip "the cups-pdf backend is not installed (package printer-driver-cups-pdf)"
ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
[[ -f $ppd ]] || skip "no cups-pdf PPD at $ppd"

dir=$(mktemp -d /tmp/orvalen-cups.XXXXXX)
pid=""
cleanup() {
    if [[ -n $pid ]]; then
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$dir"
}
trap cleanup EXIT
chmod 755 "$dir"
mkdir -p "$dir"/{etc,spool,cache,state,log,tmp}
chmod 1777 "$dir/tmp"
chown lp "$dir/spool" "$dir/cache" "$dir/tmp" 2>/dev/null || true

cat >"$dir/etc/cupsd.conf" <<EOF
Listen $dir/cups.sock
LogLevel warn
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
cat >"$dir/etc/cups-files.conf" <<EOF
ServerRoot $dir/etc
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/tmp
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
User lp
Group lp
SystemGroup root
Sandboxing Relaxed
EOF

"$cupsd" -f -c "$dir/etc/cupsd.conf" -s "$dir/etc/cups-files.conf" &
pid=$!
export CUPS_SERVER=$dir/cups.sock
for _ in $(seq 100); do
    timeout 5 lpstat -r >/dev/null 2>&1 && break
    kill -0 "$pid" 2>/dev/null || skip "the private scheduler exited: $(tail -3 "$dir/log/error_log" 2>/dev/null)"
    sleep 0.1
done
timeout 5 lpstat -r >/dev/null 2>&1 || skip "the private scheduler did not answer"
timeout 30 lpadmin -p OrvalenPDF -v cups-pdf:/ -P "$ppd" -E 2>/dev/null ||
    skip "the cups-pdf queue could not be added"
timeout 30 lpadmin -d OrvalenPDF

set +e
"$@"
status=$?
set -e
if ((status != 0)) && [[ -s $dir/log/error_log ]]; then
    echo "--- scheduler log" >&2
    tail -20 "$dir/log/error_log" >&2
fi
exit "$status"
