# shellcheck shell=bash
# Loopback ports for a chain node of a script's own (sourced, not run).

# port_in_use PORT: something answers on 127.0.0.1:PORT.
port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# A port nothing answers on, from a range the kernel does not hand out on its own.
free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 12000))
    port_in_use "$port" || { echo "$port"; return; }
  done
  return 1
}
