#!/usr/bin/env bash
# Makes the certificates of a test run in DIR (once): a test CA, and server
# certificates for "localhost" that are valid, name another host, have
# expired, sign themselves, or come from a CA nobody trusts.
#   certs.sh DIR
set -euo pipefail
dir=$(realpath -m "$1")
[ -f "$dir/done" ] && exit 0
mkdir -p "$dir"; cd "$dir"
export OPENSSL_CONF=/dev/null
quiet() { "$@" >/dev/null 2>&1 || { "$@"; exit 1; }; }

make_ca() {  # name subject
  quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 3650 \
    -subj "/CN=$2" -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign"
}
request() {  # name san
  printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$2" > "$1.ext"
  quiet openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=localhost"
}
sign() {  # name ca
  quiet openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -days 825 \
    -extfile "$1.ext" -out "$1.pem"
}

make_ca ca "Buzonix Test CA"
make_ca otherca "Buzonix Untrusted CA"
request valid "DNS:localhost,IP:127.0.0.1"; sign valid ca
request wrongname "DNS:otro.invalid"; sign wrongname ca
request untrusted "DNS:localhost"; sign untrusted otherca
quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout selfsigned.key -out selfsigned.pem -days 825 \
  -subj "/CN=localhost" -addext "subjectAltName=DNS:localhost"

# An expired one needs dates in the past, which only the ca command sets.
request expired "DNS:localhost"
mkdir -p ca.db; : > ca.db/index; echo 1000 > ca.db/serial
cat > ca.db/ca.cnf <<CNF
[ca]
default_ca = test
[test]
database = $dir/ca.db/index
serial = $dir/ca.db/serial
new_certs_dir = $dir/ca.db
default_md = sha256
policy = any
copy_extensions = none
[any]
commonName = supplied
CNF
quiet openssl ca -batch -config ca.db/ca.cnf -cert ca.pem -keyfile ca.key -in expired.csr -out expired.pem \
  -startdate 20200101000000Z -enddate 20210101000000Z -extfile expired.ext -notext
chmod 644 ./*.pem ./*.key
touch done
