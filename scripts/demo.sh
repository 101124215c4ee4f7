#!/bin/bash
# The main job on the embedded SQLite default: sets up a demo folder with two
# SQLite databases, a DSN file and a script, replicates the sales database's
# customers into a backup database, changes the source (updates, deletes,
# inserts), and replicates again. Every log line is shown; the log also lands
# in <demo folder>/kestrel.log.
#
#   scripts/demo.sh            demo folder: build/demo (made afresh)
#   KESTREL_DEMO_DIR=/some/dir scripts/demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/setup.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build

demo=${KESTREL_DEMO_DIR:-$root/build/demo}
rm -rf "$demo"
mkdir -p "$demo"
cd "$demo"

cat >odbc.ini <<INI
[DEMO_SALES]
Driver=SQLite3
Database=$demo/sales.db
StepAPI=1

[DEMO_BACKUP]
Driver=SQLite3
Database=$demo/backup.db
StepAPI=1
INI
export ODBCINI=$demo/odbc.ini
# The demo's options stay in the demo folder, away from the user's own.
export XDG_CONFIG_HOME=$demo/config

# 300 customers in the sales database; the backup table exists but is empty.
sqlite3 sales.db <<'SQL'
CREATE TABLE CUSTOMER (
  CUSTNO INTEGER PRIMARY KEY, NAME VARCHAR(40), CITY VARCHAR(30),
  PHONE VARCHAR(20), ZIP INTEGER, BALANCE DOUBLE);
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300)
INSERT INTO CUSTOMER
SELECT i,
       'customer ' || i,
       CASE i % 4 WHEN 0 THEN 'Oslo' WHEN 1 THEN 'Rome   ' WHEN 2 THEN 'Lyon' ELSE 'Porto  ' END,
       '555-' || substr('0000' || (i * 37 % 10000), -4),
       (i * 113) % 99999,
       round(i * 12.25 - 1000, 2)
FROM n;
SQL
sqlite3 backup.db <<'SQL'
CREATE TABLE CUSTOMER_COPY (
  CUSTNO INTEGER PRIMARY KEY, NAME VARCHAR(40), CITY VARCHAR(30),
  PHONE_CODE INTEGER, ZIPCODE VARCHAR(5), BALANCE DOUBLE, LOADED VARCHAR(10));
SQL

{
  echo "* kestrel demo: replicate the customers of the sales database into the"
  echo "* backup database, by key, with a translate table, an edit rule, a"
  echo "* FORMAT pattern and a SET column."
  echo "COPYDEFINITION: CUSTOMERS"
  echo "  FROM DEMO_SALES TABLE=CUSTOMER"
  echo "  TO DEMO_BACKUP TABLE=CUSTOMER_COPY UPDATE=KEYS"
  echo "  COPY CUSTNO KEY=YES"
  echo "  COPY NAME TRANS=UPPERCASE"
  echo "  COPY CITY LEFTTRIM=YES"
  echo "  COPY PHONE TO=PHONE_CODE EDIT=PHONEMASK"
  echo "  COPY ZIP TO=ZIPCODE FORMAT=5IZ"
  echo "  COPY BALANCE"
  echo "  SET LOADED CURRENTDATE=YES"
  echo "TRANSLATETABLE: UPPERCASE"
  for c in a b c d e f g h i j k l m n o p q r s t u v w x y z; do
    echo "  TRANS '$c' TO='${c^^}'"
  done
  echo "EDITDEFINITION: PHONEMASK"
  echo "  CHANGE '-' TO=''"
  echo "  CODED 4711"
} >script.txt

kestrel=$root/build/bin/kestrel
options=(ScriptFile="$demo/script.txt" LogFile="$demo/kestrel.log" TempFile="$demo/kestrel-%p.tmp")

echo
echo "=== First run: the backup table is empty ==="
"$kestrel" --batch "${options[@]}"

sqlite3 sales.db <<'SQL'
UPDATE CUSTOMER SET BALANCE = BALANCE + 100 WHERE CUSTNO % 50 = 0;
UPDATE CUSTOMER SET CITY = 'Bergen' WHERE CUSTNO IN (7, 77, 177);
DELETE FROM CUSTOMER WHERE CUSTNO IN (13, 113, 213, 299);
INSERT INTO CUSTOMER VALUES (301, 'new customer', 'Turku', '555-1001', 20100, 0),
                            (302, 'another one', 'Bern  ', '555-1002', 3000, 42.5);
SQL

echo
echo "=== Second run: 9 rows changed, 4 deleted and 2 added in the source ==="
"$kestrel" --batch "${options[@]}"

echo
echo "=== A few rows of the backup table ==="
sqlite3 -header -column backup.db \
  "SELECT * FROM CUSTOMER_COPY WHERE CUSTNO IN (1, 7, 50, 301, 302) ORDER BY CUSTNO"
echo
echo "Demo folder: $demo (script.txt, odbc.ini, kestrel.log, sales.db, backup.db)"
