#!/bin/sh
# The release's signing step on the built console front end, with certificates made here (with and
# without a password): SHA-256 signatures that verify, a changed byte that breaks one, the signed
# program running under Wine, and no output from a signing that cannot finish.
#   sign_test.sh SCRIPTS_SIGN QUILLFEN_CLI_EXE WINE_RUN WORK_FOLDER
set -eu
sign=$1 cli=$2 run=$3 work=$4
rm -rf "$work" && mkdir -p "$work" && cd "$work"
failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
verifies() { osslsigncode verify -in "$1" -CAfile cert.pem >"$1.log" 2>&1; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj "/CN=Quillfen test signer" \
    -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -inkey key.pem -in cert.pem -out secret.p12 -passout pass:s3cret
openssl pkcs12 -export -inkey key.pem -in cert.pem -out open.p12 -passout pass:

! verifies "$cli" || fail "the unsigned program verifies"
QUILLFEN_SIGN_PASSWORD=s3cret "$sign" secret.p12 "$cli" signed.exe || fail "signing with a password failed"
(unset QUILLFEN_SIGN_PASSWORD; "$sign" open.p12 "$cli" open.exe) || fail "signing without a password failed"
for file in signed.exe open.exe; do
    verifies "$file" || fail "$file does not verify: $(cat "$file.log")"
    grep -q 'Message digest algorithm *: SHA256' "$file.log" || fail "$file is not signed with SHA-256"
done
cp signed.exe changed.exe
printf 'X' | dd of=changed.exe bs=1 seek=1100 conv=notrunc 2>/dev/null
! verifies changed.exe || fail "a changed program still verifies"

out=$("$run" "$work/signed.exe" --version </dev/null 2>/dev/null) || fail "the signed program does not run"
case "$out" in quillfen-cli\ *) ;; *) fail "the signed program printed '$out'" ;; esac

! QUILLFEN_SIGN_PASSWORD=wrong "$sign" secret.p12 "$cli" wrong.exe 2>/dev/null || fail "a wrong password signed"
! QUILLFEN_SIGN_PASSWORD=s3cret QUILLFEN_TIMESTAMP_URL=http://127.0.0.1:9/ "$sign" secret.p12 "$cli" stamped.exe \
    2>/dev/null || fail "a signing without its time stamp succeeded"
for file in wrong.exe* stamped.exe*; do [ ! -e "$file" ] || fail "a failed signing left $file"; done

[ "$failures" -eq 0 ] || exit 1
echo "signing: both certificates sign, the signatures verify, the signed program runs"
