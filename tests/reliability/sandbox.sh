# Sourced by the reliability scripts, with $cli set: a scratch folder $work with its own home,
# a private copy of kolvik-cli (its log then lands beside that copy, never in the build folder)
# and the password file $work/pw. Everything goes when the script ends.
work=$(mktemp -d)
chmod 755 "$work"
trap 'chmod -R u+rwx "$work" 2>/dev/null; rm -rf "$work"' EXIT
export HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_STATE_HOME=$work/home/state
mkdir -p "$HOME" "$work/bin"
cp "$cli" "$work/bin/kolvik-cli"
printf 'Geheim123\n' > "$work/pw"
