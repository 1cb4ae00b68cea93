#!/bin/sh
# The release's signing step on the built console front end, with a certificate made here: the
# signature is SHA-256 and verifies, a changed byte breaks it, the signed program still runs under
# Wine, and a signing that cannot finish (wrong password, time-stamp server away) leaves no output.
#   sign_test.sh SCRIPTS_SIGN QUILLFEN_CLI_EXE WINE_RUN WORK_FOLDER
set -eu
sign=$1 cli=$2 run=$3 work=$4
rm -rf "$work"
mkdir -p "$work"
cd "$work"
failures=0
fail() {
    echo "FAILED: $*" >&2
    failures=$((failures + 1))
}

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj "/CN=Quillfen test signer" \
    -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -inkey key.pem -in cert.pem -out secret.p12 -passout pass:s3cret
openssl pkcs12 -export -inkey key.pem -in cert.pem -out open.p12 -passout pass:

# Unsigned, the program has no signature to verify: the check below can fail.
if osslsigncode verify -in "$cli" -CAfile cert.pem >/dev/null 2>&1; then fail "the unsigned program verifies"; fi

QUILLFEN_SIGN_PASSWORD=s3cret "$sign" secret.p12 "$cli" signed.exe || fail "signing with a password failed"
(unset QUILLFEN_SIGN_PASSWORD; "$sign" open.p12 "$cli" open.exe) || fail "signing without a password failed"
for file in signed.exe open.exe; do
    osslsigncode verify -in "$file" -CAfile cert.pem >"$file.log" 2>&1 || fail "$file does not verify: $(cat "$file.log")"
    grep -q 'Message digest algorithm *: SHA256' "$file.log" || fail "$file is not signed with SHA-256"
done
cmp -s "$cli" signed.exe && fail "the signed program is the unsigned one"

# One byte of the code changed: the signature no longer holds.
cp signed.exe changed.exe
printf 'X' | dd of=changed.exe bs=1 seek=1100 conv=notrunc 2>/dev/null
if osslsigncode verify -in changed.exe -CAfile cert.pem >/dev/null 2>&1; then fail "a changed program still verifies"; fi

out=$("$run" "$work/signed.exe" --version </dev/null 2>/dev/null) || fail "the signed program does not run"
case "$out" in quillfen-cli\ *) ;; *) fail "the signed program printed '$out'" ;; esac

if QUILLFEN_SIGN_PASSWORD=wrong "$sign" secret.p12 "$cli" wrong.exe 2>/dev/null; then fail "a wrong password signed"; fi
if QUILLFEN_SIGN_PASSWORD=s3cret QUILLFEN_TIMESTAMP_URL=http://127.0.0.1:9/ "$sign" secret.p12 "$cli" stamped.exe \
    2>/dev/null; then
    fail "a signing without its time stamp succeeded"
fi
for file in wrong.exe stamped.exe wrong.exe.partial stamped.exe.partial; do
    [ ! -e "$file" ] || fail "a failed signing left $file"
done

[ "$failures" -eq 0 ] || exit 1
echo "signing: both certificates sign, the signatures verify, the signed program runs"
