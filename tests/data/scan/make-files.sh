#!/usr/bin/env bash
# Makes the files in this folder from ../factory-bank.syx with other people's
# tools only: csvmidi (Debian's midicsv package) for the MIDI files, od, awk,
# head and printf for the rest. README.md says what each file is.
set -euo pipefail
cd "$(dirname "$0")"
dump=../factory-bank.syx

# The dump's bytes in decimal, one to a line.
od -An -v -tu1 "$dump" | awk '{ for (i = 1; i <= NF; i++) print $i }' >dump.tmp

# "track, time, System_exclusive, length, bytes..." for the bytes after F0:
# csvmidi writes F0 itself, then the length and the bytes.
whole_sysex() { # track time
    awk -v track="$1" -v time="$2" 'NR > 1 { b[++n] = $1 }
        END { printf "%d, %d, System_exclusive, %d", track, time, n
              for (i = 1; i <= n; i++) printf ", %d", b[i]; printf "\n" }' dump.tmp
}

# The dump in packets of size bytes on the wire, each step ticks after the
# one before: the first a System_exclusive event (F0 len data), the rest
# System_exclusive_packet events (F7 len data). With escapes=1 every packet
# is an F7 event, the first with the F0 among its bytes. A Marker meta event
# after the second packet is not sent and must not break the message.
packets() { # track time size step escapes
    awk -v track="$1" -v time="$2" -v size="$3" -v step="$4" -v escapes="$5" '
        { b[++n] = $1 }
        END {
            for (at = 1; at <= n; at += size) {
                last = at + size - 1; if (last > n) last = n
                first = at
                if (at == 1 && !escapes) { kind = "System_exclusive"; first = 2 }
                else kind = "System_exclusive_packet"
                printf "%d, %d, %s, %d", track, time, kind, last - first + 1
                for (i = first; i <= last; i++) printf ", %d", b[i]
                printf "\n"
                if (at == 1 + size) printf "%d, %d, Marker_t, \"second packet\"\n", track, time
                time += step
            }
        }' dump.tmp
}

# Format 0, one track: notes with running status (csvmidi's default), a
# program change, the dump as one SysEx event, more notes.
{
    echo '0, 0, Header, 0, 1, 480'
    echo '1, 0, Start_track'
    echo '1, 0, Title_t, "A3 factory bank"'
    echo '1, 0, Tempo, 500000'
    echo '1, 0, Program_c, 0, 5'
    echo '1, 0, Note_on_c, 0, 60, 100'
    echo '1, 240, Note_on_c, 0, 60, 0'
    echo '1, 240, Note_on_c, 0, 64, 100'
    echo '1, 480, Note_on_c, 0, 64, 0'
    whole_sysex 1 480
    echo '1, 960, Pitch_bend_c, 0, 8192'
    echo '1, 960, Note_on_c, 0, 67, 90'
    echo '1, 1200, Note_on_c, 0, 67, 0'
    echo '1, 1200, End_track'
    echo '0, 0, End_of_file'
} >format0.csv
csvmidi -z format0.csv format0.mid

# Format 1: a tempo track, then a track with notes and the dump in 64-byte
# packets 20 ticks apart.
{
    echo '0, 0, Header, 1, 2, 96'
    echo '1, 0, Start_track'
    echo '1, 0, Tempo, 600000'
    echo '1, 0, Time_signature, 4, 2, 24, 8'
    echo '1, 0, End_track'
    echo '2, 0, Start_track'
    echo '2, 0, Control_c, 1, 0, 0'
    echo '2, 0, Program_c, 1, 3'
    echo '2, 0, Note_on_c, 1, 48, 64'
    echo '2, 10, Note_on_c, 1, 48, 0'
    packets 2 20 64 20 0
    echo '2, 10000, Note_on_c, 1, 50, 64'
    echo '2, 10010, Note_on_c, 1, 50, 0'
    echo '2, 10010, End_track'
    echo '0, 0, End_of_file'
} >format1-packets.csv
csvmidi -z format1-packets.csv format1-packets.mid

# Format 1: the dump wholly as escape events of 100 bytes, the first holding
# the F0.
{
    echo '0, 0, Header, 1, 2, 96'
    echo '1, 0, Start_track'
    echo '1, 0, Tempo, 500000'
    echo '1, 0, End_track'
    echo '2, 0, Start_track'
    packets 2 0 100 5 1
    echo '2, 2000, End_track'
    echo '0, 0, End_of_file'
} >format1-escapes.csv
csvmidi -z format1-escapes.csv format1-escapes.mid

# Format 2: two patterns, each with the dump: one whole beside a General MIDI
# reset, the other in 512-byte packets.
{
    echo '0, 0, Header, 2, 2, 480'
    echo '1, 0, Start_track'
    echo '1, 0, System_exclusive, 5, 126, 127, 9, 1, 247'
    whole_sysex 1 10
    echo '1, 20, End_track'
    echo '2, 0, Start_track'
    packets 2 0 512 100 0
    echo '2, 10000, End_track'
    echo '0, 0, End_of_file'
} >format2-two-dumps.csv
csvmidi -z format2-two-dumps.csv format2-two-dumps.mid

# Three SysEx messages, none an All-Data dump: a General MIDI reset, an
# identity request and a message of the device's own with another function.
cat >other-sysex.csv <<'CSV'
0, 0, Header, 0, 1, 480
1, 0, Start_track
1, 0, System_exclusive, 5, 126, 127, 9, 1, 247
1, 10, System_exclusive, 5, 126, 127, 6, 1, 247
1, 20, System_exclusive, 5, 66, 33, 32, 16, 247
1, 30, Note_on_c, 0, 60, 100
1, 40, Note_off_c, 0, 60, 0
1, 40, End_track
0, 0, End_of_file
CSV
csvmidi -z other-sysex.csv other-sysex.mid

# The format 0 file cut off after 20000 bytes, as a broken download leaves it.
head -c 20000 format0.mid >format0-truncated.mid

# RIFF RMID: the format 1 file in a "data" chunk after an INFO list.
le32() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))\\x$(printf %02x $(($1 >> 16 & 255)))\\x$(printf %02x $(($1 >> 24 & 255)))"; }
midi=format1-packets.mid
size=$(stat -c %s $midi)
pad=$((size % 2))
info='INFOINAM'
{
    printf RIFF
    le32 $((4 + 8 + 4 + 4 + 4 + 4 + 8 + size + pad))
    printf RMID
    printf LIST
    le32 16
    printf '%s' "$info"
    le32 4
    printf 'A3\0\0'
    printf data
    le32 "$size"
    cat $midi
    [ $pad -eq 0 ] || printf '\0'
} >format1-packets.rmi

# Hex text: od's lower-case pairs, 16 to a line; and upper case with 0x and
# commas, as a program's source would have them.
od -An -v -tx1 "$dump" >od-hex.txt
od -An -v -tx1 "$dump" |
    awk '{ for (i = 1; i <= NF; i++) printf "0x%s,%s", toupper($i), (i < NF ? " " : "\n") }' \
        >0x-commas.txt

rm -f dump.tmp ./*.csv
