#!/bin/sh
# Makes the fixture of an instance that stored its text in 8 bits: an
# older release's own tarvelin-setup and server (given as OLD_BIN, the folder
# holding both) create the instance, take entries from an integrator's
# wlprocess calls in Latin-1 without a declared charset (and one with the
# numeric character references a browser sent for characters outside its
# 8-bit page), a user whose password holds a non-ASCII letter, and answer
# dcmtk's findscu. Writes quillat.sql (the database, as sqlite3 .dump
# writes it) and answers/ (each response data set, as findscu -X wrote it)
# into this folder. Needs sqlite3, curl, dcmtk.
set -eu
OLD_BIN=$1
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)
trap 'kill $SERVER 2>/dev/null || true; rm -rf "$WORK"' EXIT
INSTANCE=$WORK/instance
"$OLD_BIN/tarvelin-setup" init "$INSTANCE" --admin-password 'Adm1n-pw' >/dev/null
"$OLD_BIN/tarvelin-setup" user "$INSTANCE" add "m$(printf '\303\274')ller" --password "P$(printf '\303\244')sswort-1" >/dev/null
WL_PORT=$((20000 + $$ % 10000)); WEB_PORT=$((WL_PORT + 1)); HL7_PORT=$((WL_PORT + 2))
"$OLD_BIN/tarvelin-setup" config "$INSTANCE" TRVSVC WL_Port $WL_PORT
"$OLD_BIN/tarvelin-setup" config "$INSTANCE" TRVSVC WEBPort $WEB_PORT
"$OLD_BIN/tarvelin-setup" config "$INSTANCE" TRVSVC HL7Port $HL7_PORT
"$OLD_BIN/tarvelin" --home "$INSTANCE" >/dev/null 2>&1 &
SERVER=$!
sleep 3

add() {  # ACCESSION, then the rest of the query text (Latin-1, %-escaped)
  curl -s -o /dev/null -u admin:Adm1n-pw \
    "http://127.0.0.1:$WEB_PORT/wlprocess?AccessionNumber=$1&PatientID=P$1&PatientBD=19700315&PatientSex=F&StartDate=20270108&StartTime=093000&Modality=CT&ScheduledStation=CT01&$2"
}
add L1 'PatientName=M%DCLLER^J%D6RG&ReferringPhysician=B%C9RARD^AN%C9&StudyDescription=KN%D6CHEL%20LINKS'
add L2 'PatientName=GAR%C7ON^FRAN%C7OISE&ReferringPhysician=SMITH^JOHN&StudyDescription=STRA%DFE'
add L3 'PatientName=DVO%26%23344%3B%C1K^JI%26%23344%3B%CD&StudyDescription=HEAD'
add L4 'PatientName=SMITH^JOHN&StudyDescription=CHEST'

rm -rf "$HERE/answers" && mkdir -p "$HERE/answers"
for accession in L1 L2 L3 L4; do
  for set in none 100 192; do
    out=$WORK/$accession-$set && mkdir -p "$out"
    charset=""
    [ $set != none ] && charset="(0008,0005) CS [ISO_IR $set]"
    printf '%s\n(0008,0050) SH [%s]\n(0008,0090) PN []\n(0010,0010) PN []\n(0040,0100) SQ (Sequence with explicit length #=1)\n(fffe,e000) na (Item with explicit length #=1)\n(0040,0007) LO []\n(fffe,e00d) na (ItemDelimitationItem)\n(fffe,e0dd) na (SequenceDelimitationItem)\n' \
      "$charset" $accession >"$out/query.txt"
    dump2dcm "$out/query.txt" "$out/query.dcm"
    findscu -W -aet LATINCT -aec TARVELIN -X -od "$out" 127.0.0.1 $WL_PORT "$out/query.dcm"
    cp "$out/rsp0001.dcm" "$HERE/answers/$accession-$set.dcm"
  done
done
kill $SERVER; wait $SERVER 2>/dev/null || true
sqlite3 "$INSTANCE/database/quillat.db" .dump >"$HERE/quillat.sql"
