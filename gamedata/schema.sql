-- The structure of newRunewords.mdb. Yes/no columns hold 1 and 0 so that "armor = true"
-- and a bare "false" behave as conditions.

-- The version of the game data in runes.txt and runewords.txt. Raise it with every change to
-- them: an installed program then rebuilds each player's copy from the new data, keeping the
-- saves, unless the player imported game data of their own.
PRAGMA user_version = 1;

-- Every data file also gets a table gameDataInfo (name TEXT, imported TEXT), made by the data
-- tool and the program rather than here: one row with the data's name (from a line
-- "-- name: ..." here or "# name: ..." in runewords.txt) and, in a player's file whose game
-- data was imported, when that was (ISO 8601, UTC). Such data is never rebuilt from the
-- shipped data.

CREATE TABLE RuneWords (
    RunewordID INTEGER PRIMARY KEY,
    -- Unique: the display finds a runeword by its name alone.
    RuneWordName TEXT NOT NULL UNIQUE,
    runewordText TEXT,
    nrrunes INTEGER,
    rune1 INTEGER, rune2 INTEGER, rune3 INTEGER, rune4 INTEGER, rune5 INTEGER, rune6 INTEGER,
    armor INTEGER, helm INTEGER, belt INTEGER, boots INTEGER, shield INTEGER, gloves INTEGER,
    meleeweapon INTEGER, missileweapon INTEGER, Other INTEGER
);

CREATE TABLE runes (
    Runenumber INTEGER PRIMARY KEY,
    Runename TEXT,
    Runefunction1 TEXT,
    Runefunction2 TEXT,
    Runefunction3 TEXT
);

CREATE TABLE saves (
    savenumber INTEGER PRIMARY KEY,
    saveName TEXT NOT NULL
);

CREATE TABLE ownedRunes (
    savenumber INTEGER NOT NULL,
    runenumber INTEGER NOT NULL
);

CREATE VIEW runesQuery AS
    SELECT Runenumber, Runename, Runefunction1, Runefunction2, Runefunction3
    FROM runes ORDER BY Runenumber;

CREATE VIEW runewordList AS
    SELECT RuneWordName AS runewordName FROM RuneWords ORDER BY RuneWordName;

CREATE VIEW savesQuery2 AS
    SELECT savenumber, saveName FROM saves ORDER BY savenumber;

-- The row id makes the view updatable: the save dialog deletes a slot's rows through it.
CREATE VIEW savesQuery AS
    SELECT rowid AS rowid, savenumber, runenumber FROM ownedRunes ORDER BY savenumber, rowid;

CREATE TRIGGER savesQuery_delete INSTEAD OF DELETE ON savesQuery
BEGIN
    DELETE FROM ownedRunes WHERE rowid = old.rowid;
END;
