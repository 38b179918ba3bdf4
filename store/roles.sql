-- The two roles of a company's shared records database, for the administrator to run in that
-- database once its schema is made, as a superuser or as the database's owner when it may
-- create roles:
--
--   createdb --owner=qarn3_owner qarn3
--   qarn3-records --db postgresql://qarn3_owner@HOST/qarn3 schema
--   psql --host=HOST --username=qarn3_owner --dbname=qarn3 --file=store/roles.sql
--
-- then a login for each person, in the role of their work:
--
--   CREATE ROLE ann LOGIN IN ROLE qarn3_technician;
--   CREATE ROLE bob LOGIN IN ROLE qarn3_office;
--   \password ann        (psql asks for it without echo, never PASSWORD '...' on a command line)
--
-- Technicians read everything and add records (their laptops' syncs). They may change a
-- site, breaker, session or test point, because an edit made on a laptop reaches the shared
-- database as a change of that row (the newest change wins); likewise a curve (imported
-- again) and the curve a breaker names for a kind. A curve's points belong to it and are
-- replaced as a whole when it changes, so technicians may delete curve points, and nothing
-- else: shots and waveforms, never edited, they cannot change. The office also edits and
-- deletes.
-- Only the owner makes and changes the schema (a newer program's tables); running this file
-- again after such a change gives both roles their rights on the new tables.

DO $$
DECLARE
    owner_name TEXT := (SELECT pg_get_userbyid(datdba) FROM pg_database
                        WHERE datname = current_database());
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'qarn3_technician') THEN
        BEGIN
            CREATE ROLE qarn3_technician NOLOGIN;
        EXCEPTION WHEN duplicate_object OR unique_violation THEN
            NULL; -- made meanwhile by a second run of this script on the same server
        END;
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'qarn3_office') THEN
        BEGIN
            CREATE ROLE qarn3_office NOLOGIN;
        EXCEPTION WHEN duplicate_object OR unique_violation THEN
            NULL; -- made meanwhile by a second run of this script on the same server
        END;
    END IF;
    EXECUTE format('GRANT CONNECT ON DATABASE %I TO qarn3_technician, qarn3_office',
                   current_database());
    -- Tables a later version of the program makes: read and add at once.
    EXECUTE format('ALTER DEFAULT PRIVILEGES FOR ROLE %I IN SCHEMA public'
                   ' GRANT SELECT, INSERT ON TABLES TO qarn3_technician', owner_name);
    EXECUTE format('ALTER DEFAULT PRIVILEGES FOR ROLE %I IN SCHEMA public'
                   ' GRANT SELECT, INSERT, UPDATE, DELETE ON TABLES TO qarn3_office',
                   owner_name);
END
$$;

-- Nobody but the owner makes tables (PUBLIC may no longer since PostgreSQL 15).
REVOKE CREATE ON SCHEMA public FROM PUBLIC;
GRANT USAGE ON SCHEMA public TO qarn3_technician, qarn3_office;

GRANT SELECT, INSERT ON ALL TABLES IN SCHEMA public TO qarn3_technician;
GRANT UPDATE ON site, breaker, session, test_point, curve, breaker_curve, trip_unit,
    test_plan, session_check TO qarn3_technician;
GRANT DELETE ON curve_point, trip_unit_delay, test_plan_point TO qarn3_technician;
GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO qarn3_office;

-- The schema's version is the owner's to change.
REVOKE INSERT, UPDATE, DELETE ON schema_version FROM qarn3_technician, qarn3_office;
