#!/bin/sh
# Makes a throw-away code-signing certificate for the tests, in both forms a
# vendor may give the build:
#
#   tools/test-certificate.sh FOLDER
#
# FOLDER/cert.pem and FOLDER/key.pem (PEM, key unencrypted), and
# FOLDER/vendor.p12 (PKCS#12 of the same pair) with its password in
# FOLDER/password. Kept when already there, so that every build signing with
# it stays byte-identical.
set -eu
dir=$1
mkdir -p "$dir"
[ -f "$dir/vendor.p12" ] && exit 0
openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Tablewright Test Vendor" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
    -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null
printf 'throw-away\n' > "$dir/password"
openssl pkcs12 -export -in "$dir/cert.pem" -inkey "$dir/key.pem" -passout "file:$dir/password" \
    -out "$dir/vendor.p12.part"
mv "$dir/vendor.p12.part" "$dir/vendor.p12"
