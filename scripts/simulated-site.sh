# A simulated customer site, for ./run and scripts/screenshots: printers of every make on loopback addresses (one
# snmpsim each, serving the community "public") and the development service with a printer list for customer 4711.
# Source it inside a private network namespace, after setting `work` to a scratch folder and `bin` to the program
# folder; everything started is stopped by the trap it sets.

site_printers=(ricoh:127.0.0.3 oki:127.0.0.4 hp:127.0.0.5 brother:127.0.0.6 kyocera:127.0.0.7 lexmark:127.0.0.8
    hp-mfp:127.0.0.9 brother-mfc:127.0.0.10
    # read through their makers' own counters
    hp-color:127.0.0.11 hp-mono:127.0.0.12 kyocera-color:127.0.0.13 kyocera-mono:127.0.0.14
    konica-minolta:127.0.0.15 sharp:127.0.0.16 xerox:127.0.0.17 canon:127.0.0.18 epson:127.0.0.19)
site_service=http://127.0.0.1:8080
site_started=()
trap 'kill "${site_started[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
chmod a+rx "$work" # the simulators drop their privileges and must still reach their data

site_start_printer() { # NAME ADDRESS
    local dir="$work/$1"
    mkdir -p "$dir/data" "$dir/cache"
    cp "tests/agents/printers/$1.snmprec" "$dir/data/public.snmprec"
    chmod -R a+rX "$dir"
    chmod 777 "$dir/cache"
    snmpsimd --data-dir="$dir/data" --cache-dir="$dir/cache" --agent-udpv4-endpoint="$2:161" \
        --process-user=nobody --process-group=nogroup >"$dir/agent.log" 2>&1 &
    site_started+=($!)
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
                1.3.6.1.2.1.1.1.0 >/dev/null 2>&1; then answered=1; break; fi
            sleep 0.2
        done
        if [ -z "$answered" ]; then
            echo "the simulated ${printer%%:*} printer did not start:" >&2
            cat "$work/${printer%%:*}/agent.log" >&2
            return 1
        fi
    done
}

# A program folder (FOLDER) with a vendor file and a configuration listing the simulated printers.
site_prepare_folder() { # FOLDER
    local folder=$1 ini=$1/meterlane.ini i slot
    printf '[Vendor]\r\nID=YLK\r\n' >"$folder/zov.vnd"
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
