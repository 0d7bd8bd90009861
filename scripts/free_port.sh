# Sourced by the scripts that start peers on the loopback addresses.
# free_port ADDRESS: prints a TCP port on ADDRESS that nothing listens on.
free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 40000))
    if ! (exec 3<>"/dev/tcp/$1/$port") 2>/dev/null; then
      echo "$port"
      return
    fi
  done
  echo "free_port: no free port found on $1" >&2
  return 1
}
