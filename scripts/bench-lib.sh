# Shared helpers of the scripts/bench-* scripts (sourced, not run).
bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bench_bin="$bench_root/build/bench/bench_pedidos"

# Builds the benchmark program (configuring the build folder first when needed).
bench_build() {
  if [[ ! -f "$bench_root/build/build.ninja" ]]; then
    bash "$bench_root/scripts/setup"
  fi
  cmake "$bench_root/build" >/dev/null
  ninja -C "$bench_root/build" bench_pedidos pedidosftp >/dev/null
}

# A loopback TCP port that was free a moment ago.
bench_free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

bench_now() { date +%s.%N; }

# Seconds between two bench_now values.
bench_elapsed() { /usr/bin/python3 -c "import sys; print('%.4f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$1" "$2"; }

# Median of the numbers given.
bench_median() {
  /usr/bin/python3 -c 'import statistics, sys; print("%.4f" % statistics.median(float(x) for x in sys.argv[1:]))' "$@"
}

# a / b with two decimals.
bench_ratio() { /usr/bin/python3 -c "import sys; print('%.2f' % (float(sys.argv[1]) / float(sys.argv[2])))" "$1" "$2"; }

# The value of "key=value" in a file of such lines.
bench_value() { sed -n "s/^$1=//p" "$2" | head -n1; }

# Waits until a loopback port accepts connections (10 s at most).
bench_wait_port() {
  local port=$1 i
  for ((i = 0; i < 200; i++)); do
    if /usr/bin/python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', int(sys.argv[1])), 0.2).close()" "$port" 2>/dev/null; then
      return 0
    fi
    sleep 0.05
  done
  echo "no server on port $port" >&2
  return 1
}

# How busy the machine is.
bench_load() { uptime | sed 's/.*load average/load average/'; }

# The system user vsftpd logs in (the same one the tests create; root only).
bench_vsftpd_user=pedftp
bench_vsftpd_password=Pedidos-Teste-42
bench_ensure_vsftpd_user() {
  if ! id "$bench_vsftpd_user" >/dev/null 2>&1; then
    useradd -M -d /tmp -s /bin/bash "$bench_vsftpd_user"
  fi
  echo "$bench_vsftpd_user:$bench_vsftpd_password" | chpasswd
}

# Starts vsftpd in the background serving $1 (login folder) on port $2 with passive ports from
# $3 (50 of them); its configuration and pid go into folder $4. Without protocol logging.
bench_start_vsftpd() {
  local root=$1 port=$2 pasv=$3 work=$4
  mkdir -p "$work/empty"
  cat >"$work/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
anonymous_enable=NO
local_enable=YES
write_enable=YES
local_umask=022
pasv_enable=YES
pasv_min_port=$pasv
pasv_max_port=$((pasv + 49))
pasv_address=127.0.0.1
secure_chroot_dir=$work/empty
xferlog_enable=NO
local_root=$root
CONF
  /usr/sbin/vsftpd "$work/vsftpd.conf" </dev/null >"$work/vsftpd.out" 2>&1 &
  echo $! >"$work/vsftpd.pid"
  bench_wait_port "$port"
}

# Starts pyftpdlib in the background serving $1 on port $2 (user $3, password $4) with passive
# ports from $5 (50 of them); pid into $6. Without command logging.
bench_start_pyftpdlib() {
  local root=$1 port=$2 user=$3 password=$4 pasv=$5 pidfile=$6
  /usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$port" -w -d "$root" -u "$user" -P "$password" \
    -r "$pasv-$((pasv + 49))" </dev/null >"$pidfile.out" 2>&1 &
  echo $! >"$pidfile"
  bench_wait_port "$port"
}

# Stops a process started above by the pid in file $1.
bench_stop() {
  local pidfile=$1
  if [[ -f "$pidfile" ]]; then
    kill "$(cat "$pidfile")" 2>/dev/null || true
    wait "$(cat "$pidfile")" 2>/dev/null || true
    rm -f "$pidfile"
  fi
}
