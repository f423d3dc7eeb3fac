#!/usr/bin/env bash
# Makes the test authority and the fixture server's certificate. The server
# certificate names every outside host the tests point at the fixture server;
# add a host to SANS and run this again (all three files change together).
set -euo pipefail
cd "$(dirname "$0")"
SANS="DNS:localhost,IP:127.0.0.1,DNS:www.zuanke8.com,DNS:zuanke8.com,DNS:*.jd.com,DNS:jd.com"
SANS+=",DNS:*.m.jd.com,DNS:*.jr.jd.com,DNS:home.jdpay.com,DNS:sctapi.ftqq.com,DNS:*.test"
SANS+=",DNS:www.pushplus.plus,DNS:api.day.app,DNS:api.telegram.org,DNS:ntfy.sh"
SANS+=",DNS:qyapi.weixin.qq.com,DNS:oapi.dingtalk.com"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$tmp/ca-key.pem" -out ca.pem -days 36500 \
  -subj "/CN=Quenlo Test CA" -addext "basicConstraints=critical,CA:TRUE" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout server-key.pem -out "$tmp/server.csr" \
  -subj "/CN=Quenlo Test Server" 2>/dev/null
printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$SANS" \
  >"$tmp/ext.cnf"
openssl x509 -req -in "$tmp/server.csr" -CA ca.pem -CAkey "$tmp/ca-key.pem" -CAcreateserial \
  -CAserial "$tmp/ca.srl" -out server.pem -days 36500 -extfile "$tmp/ext.cnf" 2>/dev/null
