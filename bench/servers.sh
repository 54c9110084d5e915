# Sourced by the benchmarks that talk to servers on loopback. Sourcing it makes $run, a private
# temporary folder for the servers' files, and sets end_servers as the EXIT trap (a script with
# more to clean sets its own trap, which calls end_servers).
run=$(mktemp -d)
pids=()

# start_helper VAR NAME COMMAND...: starts COMMAND, which prints "PORT <n>" and ends when its
# standard input closes: that is a FIFO this shell holds open, so the helper also ends with the
# shell. Sets VAR to its port; its output goes to $run/NAME.out and .err.
start_helper() {
    local var=$1 name=$2 fd found
    shift 2
    mkfifo "$run/$name.in"
    "$@" <"$run/$name.in" >"$run/$name.out" 2>"$run/$name.err" &
    pids+=($!)
    exec {fd}>"$run/$name.in"
    rm -f "$run/$name.in"
    for _ in $(seq 100); do
        found=$(awk '/^PORT/ { print $2 }' "$run/$name.out")
        if [ -n "$found" ]; then
            printf -v "$var" '%s' "$found"
            return 0
        fi
        sleep 0.1
    done
    echo "$name did not start: $(cat "$run/$name.err")" >&2
    exit 1
}

# start_sshd: OpenSSH's sshd on a free loopback port, with a host key and a client key made for
# the run; the client's key is $run/home/.ssh/id_ed25519. Sets sshd_port. Sessions and
# unauthenticated connections are allowed 32 at once, so that many transfers at once are not
# refused.
start_sshd() {
    mkdir -p "$run/home/.ssh" /run/sshd
    ssh-keygen -q -t ed25519 -N '' -f "$run/host_key"
    ssh-keygen -q -t ed25519 -N '' -f "$run/home/.ssh/id_ed25519"
    cp "$run/home/.ssh/id_ed25519.pub" "$run/authorized_keys"
    cat >"$run/sshd_config" <<CONF
HostKey $run/host_key
PidFile none
AuthorizedKeysFile $run/authorized_keys
PermitRootLogin yes
StrictModes no
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
Subsystem sftp internal-sftp
LogLevel ERROR
MaxSessions 32
MaxStartups 32
CONF
    sshd_port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    /usr/sbin/sshd -D -e -f "$run/sshd_config" -p "$sshd_port" -o ListenAddress=127.0.0.1 2>"$run/sshd.log" &
    pids+=($!)
    for _ in $(seq 100); do
        (exec 9<>"/dev/tcp/127.0.0.1/$sshd_port") 2>/dev/null && return 0
        sleep 0.1
    done
    echo "sshd did not start: $(cat "$run/sshd.log")" >&2
    exit 1
}

# trust_sshd PORT: the client's known_hosts ($run/home/.ssh/known_hosts) holds the server's host
# key under PORT: sshd's own, or that of a proxy in front of it.
trust_sshd() {
    echo "[127.0.0.1]:$1 $(cut -d' ' -f1,2 "$run/host_key.pub")" >"$run/home/.ssh/known_hosts"
}

# end_servers: ends what start_helper and start_sshd started, waits for them, removes $run.
end_servers() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    rm -rf "$run"
}
trap end_servers EXIT
