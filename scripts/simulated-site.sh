# A simulated customer site, for ./run and scripts/screenshots: printers of every make on loopback addresses (one
# snmpsim each, serving the community "public"), two that answer only as the program folder's snmp-credentials.ini
# says (version 3 only, and version 2c only with a community of the site's), and the development service with a
# printer list for customer 4711. Source it inside a private network namespace, after setting `work` to a scratch
# folder and `bin` to the program folder; everything started is stopped by the trap it sets.

site_printers=(ricoh:127.0.0.3 oki:127.0.0.4 hp:127.0.0.5 brother:127.0.0.6 kyocera:127.0.0.7 lexmark:127.0.0.8
    hp-mfp:127.0.0.9 brother-mfc:127.0.0.10
    # read through their makers' own counters
    hp-color:127.0.0.11 hp-mono:127.0.0.12 kyocera-color:127.0.0.13 kyocera-mono:127.0.0.14
    konica-minolta:127.0.0.15 sharp:127.0.0.16 xerox:127.0.0.17 canon:127.0.0.18 epson:127.0.0.19
    # answer only through a profile of snmp-credentials.ini
    hp-v3:127.0.0.20 ricoh-v2c:127.0.0.21)
# How the last two are asked (the demo's own passphrases): snmpsim --v3-only answers in the context of its data
# file's name, as some HP devices answer only in the context "Jetdirect"; snmpd answers version 2c with "site2c" only.
site_v3_options=(-v3 -u meterlane -l authPriv -a SHA-256 -A demo-auth-pass -x AES-256 -X demo-priv-pass -n Jetdirect)
site_v2c_options=(-v2c -c site2c)
site_service=http://127.0.0.1:8080
site_started=()
trap 'kill "${site_started[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
chmod a+rx "$work" # the simulators drop their privileges and must still reach their data

site_start_printer() { # NAME ADDRESS
    local dir="$work/$1"
    mkdir -p "$dir/data" "$dir/cache"
    case $1 in
    hp-v3) # the hp printer with a serial number of its own, version 3 only
        sed 's/|CNRXB12345$/|CNRXB3V3V3/' tests/agents/printers/hp.snmprec >"$dir/data/Jetdirect.snmprec"
        set -- "$1" "$2" --v3-only --v3-user=meterlane --v3-auth-proto=SHA256 --v3-auth-key=demo-auth-pass \
            --v3-priv-proto=AES256BLMT --v3-priv-key=demo-priv-pass ;;
    ricoh-v2c)
        site_start_snmpd "$dir" "$2" tests/agents/printers/ricoh-alt.snmprec
        return ;;
    *) cp "tests/agents/printers/$1.snmprec" "$dir/data/public.snmprec" ;;
    esac
    chmod -R a+rX "$dir"
    chmod 777 "$dir/cache"
    snmpsimd --data-dir="$dir/data" --cache-dir="$dir/cache" --agent-udpv4-endpoint="$2:161" \
        --process-user=nobody --process-group=nogroup "${@:3}" >"$dir/agent.log" 2>&1 &
    site_started+=($!)
}

# snmpd serving a printer's data for version 2c with the community site2c only: the system group through snmpd's own
# directives, every other record as an override line.
site_start_snmpd() { # FOLDER ADDRESS DATA
    {
        printf '%s\n' "com2sec site 127.0.0.0/8 site2c" "group site v2c site" "view all included .1" \
            'access site "" v2c noauth exact all none none'
        awk -F'|' '
            BEGIN { split("2 integer 4 octet_str 4x octet_str 6 object_id 64 ipaddress 65 counter 66 unsigned 67 timeticks", t, " ")
                    for (i = 1; i < 16; i += 2) type[t[i]] = t[i + 1]
                    split("1 sysdescr 2 sysobjectid 4 syscontact 5 sysname 6 syslocation", d, " ")
                    for (i = 1; i < 10; i += 2) directive["1.3.6.1.2.1.1." d[i] ".0"] = d[i + 1] }
            { value = substr($0, length($1) + length($2) + 3) }
            $1 in directive { print directive[$1], value; next }
            $1 ~ /^1\.3\.6\.1\.2\.1\.1\./ || !($2 in type) { next }
            $2 == "4" { print "override", $1, "octet_str", "\"" value "\""; next }
            { print "override", $1, type[$2], ($2 == "4x" ? "0x" : "") value }' "$3"
    } >"$1/snmpd.conf"
    SNMP_PERSISTENT_DIR=$1 snmpd -f -Le -C -c "$1/snmpd.conf" -p "$1/snmpd.pid" "udp:$2:161" >"$1/agent.log" 2>&1 &
    site_started+=($!)
}

# The options meterlane-cli snmp asks a printer with.
site_options() { # NAME
    case $1 in
    hp-v3) printf '%s\n' "${site_v3_options[@]}" ;;
    ricoh-v2c) printf '%s\n' "${site_v2c_options[@]}" ;;
    esac
}

# Starts the printers and the service, and returns once every printer answers.
site_start() {
    local printer answered
    for printer in "${site_printers[@]}"; do site_start_printer "${printer%%:*}" "${printer##*:}"; done
    "$bin/yonderlook-devserver" --listen 127.0.0.1:8080 --db "$work/service.sqlite" \
        --customer "4711=127.0.0.3§Office 1,127.0.0.5§Hall 2" 2>"$work/service.log" &
    site_started+=($!)
    export METERLANE_SERVICE_URL=$site_service
    for printer in "${site_printers[@]}"; do
        answered=
        for _ in $(seq 50); do
            if QUORREL_TIMEOUT_MS=200 QUORREL_RETRIES=0 "$bin/meterlane-cli" snmp get "${printer##*:}" \
                1.3.6.1.2.1.1.1.0 $(site_options "${printer%%:*}") >/dev/null 2>&1; then answered=1; break; fi
            sleep 0.2
        done
        if [ -z "$answered" ]; then
            echo "the simulated ${printer%%:*} printer did not start:" >&2
            cat "$work/${printer%%:*}/agent.log" >&2
            return 1
        fi
    done
}

# A program folder (FOLDER) with a vendor file, a configuration listing the simulated printers, and the credential
# profiles that reach the last two, readable by their owner only.
site_prepare_folder() { # FOLDER
    local folder=$1 ini=$1/meterlane.ini i slot
    printf '[Vendor]\r\nID=YLK\r\n' >"$folder/zov.vnd"
    (
        umask 077
        cat >"$folder/snmp-credentials.ini" <<'PROFILES'
[office v3]
Version=3
User=meterlane
AuthProtocol=SHA-256
AuthPassphrase=demo-auth-pass
PrivProtocol=AES-256
PrivPassphrase=demo-priv-pass
Context=Jetdirect
Hosts=127.0.0.20
[site v2c]
Version=2c
Community=site2c
Hosts=127.0.0.21
[everyone]
Version=1
Community=public
PROFILES
    )
    "$bin/meterlane-cli" ini set "$ini" General ver 2.7.9 >/dev/null
    for setting in StartupMinimized=1 TonerLow=20 TonerLowNotNotify=1 IntervalReadMinutes=150; do
        "$bin/meterlane-cli" ini set "$ini" Settings "${setting%%=*}" "${setting##*=}" >/dev/null
    done
    "$bin/meterlane-cli" ini set "$ini" Vendor ID YLK >/dev/null
    "$bin/meterlane-cli" ini set "$ini" Vendor CID 4711 >/dev/null
    for i in "${!site_printers[@]}"; do
        slot=$(printf 'pip%03d' $((i + 1)))
        "$bin/meterlane-cli" ini set "$ini" Pips "$slot" "${site_printers[$i]##*:}" >/dev/null
        "$bin/meterlane-cli" ini set "$ini" pipsinfo "$slot" "simulated ${site_printers[$i]%%:*}" >/dev/null
    done
}
