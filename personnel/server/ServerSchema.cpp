#include "personnel/server/PersonnelServer.h"

namespace pelvaro {

// Runs again without harm: every statement keeps what is there. A script
// may insert just cardcode and persnum; the defaults, or the trigger in a
// table made by hand without them, fill the rest.
std::string serverSchemaSql() {
    return R"(BEGIN;

CREATE TABLE IF NOT EXISTS pelvaro_personnel (
    cardcode varchar(50) PRIMARY KEY,
    persnum varchar(50) NOT NULL,
    changed_at timestamptz NOT NULL DEFAULT clock_timestamp(),
    changed_by text NOT NULL DEFAULT current_user
);

CREATE OR REPLACE FUNCTION pelvaro_personnel_stamp() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    NEW.changed_at := clock_timestamp();
    NEW.changed_by := coalesce(NEW.changed_by, current_user);
    RETURN NEW;
END
$$;

-- The card code as payload: the old and the new one when an update changes
-- it; an empty payload after TRUNCATE, meaning read everything.
CREATE OR REPLACE FUNCTION pelvaro_personnel_announce() RETURNS trigger
LANGUAGE plpgsql AS $$
BEGIN
    IF TG_LEVEL = 'STATEMENT' THEN
        PERFORM pg_notify('pelvaro_personnel', '');
        RETURN NULL;
    END IF;
    IF TG_OP IN ('UPDATE', 'DELETE') THEN
        PERFORM pg_notify('pelvaro_personnel', OLD.cardcode);
    END IF;
    IF TG_OP = 'INSERT' OR (TG_OP = 'UPDATE' AND NEW.cardcode <> OLD.cardcode) THEN
        PERFORM pg_notify('pelvaro_personnel', NEW.cardcode);
    END IF;
    RETURN NULL;
END
$$;

DROP TRIGGER IF EXISTS pelvaro_personnel_stamp ON pelvaro_personnel;
CREATE TRIGGER pelvaro_personnel_stamp
    BEFORE INSERT OR UPDATE ON pelvaro_personnel
    FOR EACH ROW EXECUTE FUNCTION pelvaro_personnel_stamp();

DROP TRIGGER IF EXISTS pelvaro_personnel_announce ON pelvaro_personnel;
CREATE TRIGGER pelvaro_personnel_announce
    AFTER INSERT OR UPDATE OR DELETE ON pelvaro_personnel
    FOR EACH ROW EXECUTE FUNCTION pelvaro_personnel_announce();

DROP TRIGGER IF EXISTS pelvaro_personnel_truncate ON pelvaro_personnel;
CREATE TRIGGER pelvaro_personnel_truncate
    AFTER TRUNCATE ON pelvaro_personnel
    FOR EACH STATEMENT EXECUTE FUNCTION pelvaro_personnel_announce();

COMMIT;
)";
}

} // namespace pelvaro
