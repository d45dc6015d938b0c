# Sourced by the mail test scripts: starts the loopback servers of this folder
# (smtp_server.py, pop3_server.py) and stops them again.
#   start_server SCRIPT DIR [ARGS...]  runs "$VLM_PYTHON" SCRIPT DIR ARGS... with
#       its output in DIR.port and DIR.log and waits for its "PORT <n>" line;
#       sets port, and last to the server's process id. Fails when the server
#       ends first or gives no port within two minutes.
#   stop_servers                       stops every server started.
servers=()

start_server() {
    local script=$1 dir=$2
    shift 2
    mkdir -p "$dir"
    "$VLM_PYTHON" "$VLM_SOURCE/mail/tests/$script" "$dir" "$@" >"$dir.port" 2>"$dir.log" &
    last=$!
    servers+=("$last")
    port=
    for _ in $(seq 1200); do
        port=$(sed -n 's/^PORT //p' "$dir.port" 2>/dev/null)
        [ -n "$port" ] && return 0
        kill -0 "$last" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

stop_servers() {
    local s
    for s in "${servers[@]}"; do
        kill "$s" 2>/dev/null && wait "$s" 2>/dev/null
    done
    servers=()
}
