#!/usr/bin/env bash
# Makes a throwaway code-signing certificate in the current folder, as a
# studio's would be: its own CA (ca.pem), a certificate it issues for code
# signing, and both with the key in studio.p12, whose password is the first
# line of password.txt.
set -euo pipefail
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quorvane Test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" \
  -keyout ca.key -out ca.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Quorvane Test Studio" -keyout studio.key -out studio.csr 2>/dev/null
printf 'basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >studio.ext
openssl x509 -req -in studio.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile studio.ext \
  -out studio.pem 2>/dev/null
echo "throwaway password" >password.txt
openssl pkcs12 -export -inkey studio.key -in studio.pem -certfile ca.pem -passout file:password.txt -out studio.p12
