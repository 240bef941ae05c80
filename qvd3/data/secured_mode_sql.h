// The SQL text of the secured mode (qvd3/data/secured_mode.h), as templates in
// which the installer puts the quoted names of the schema (@S), the client
// role (@R, and @RL as a string literal) and the tables' owner (@OL as a
// string literal). Those names come from the server's own quote_ident and
// quote_literal, never from text typed by a person.
//
// Every function runs with `SET search_path = @S, pg_temp` and names every
// object with its schema, so nothing a client puts in its search path or its
// temporary schema is ever reached. No function builds SQL from its input.
// The one exception is QV_TODAY, which names no object at all and is left
// without the SET so that the server can inline it into its callers.
//
// How a connection's identity is found: every successful login takes a new
// number from the sequence QV_SESSION_IDS and records it in QV_SESSIONS
// under the backend's pid. A statement has the identity of that row only
// while the row's number is currval() of the sequence in the statement's
// own session. currval() lives in the backend and nothing the client role
// may do sets it: the role may read the sequence but neither nextval nor
// setval it. So a row left by a backend that is gone (a reused pid, a
// restarted server) names nobody, and so does a login rolled back by the
// client's own transaction. The session setting qv.session_id, which the
// login sets, only says that currval() is worth asking for (it raises an
// error before the first login of a session); a client forging it gets
// that error, never an identity. The policies read the view as scalar
// subqueries, planned with the statement and run once per execution.
#pragma once

#include <string_view>

namespace qv::secured_sql {

// The owner-only tables of the mode.
inline constexpr std::string_view kTables = R"SQL(
CREATE TABLE IF NOT EXISTS @S.QV_SECURED (CLIENT_ROLE varchar(63) NOT NULL);
CREATE TABLE IF NOT EXISTS @S.QV_ADMINS (USERQV_NAME varchar(10) PRIMARY KEY);
CREATE SEQUENCE IF NOT EXISTS @S.QV_SESSION_IDS;
CREATE TABLE IF NOT EXISTS @S.QV_SESSIONS (
  PID integer PRIMARY KEY,
  SESSION_ID bigint NOT NULL,
  USER_ID integer NOT NULL,
  APP_KEY varchar(20) NOT NULL,
  IS_ADMIN boolean NOT NULL);
-- The last password change made on each backend, numbered from a sequence
-- of its own in the same way as the sessions: the login that follows a
-- forced change on the same connection takes the identity even when the
-- profile's interval (0) would demand another change at once, as the
-- client's own login admits the user after the change.
CREATE SEQUENCE IF NOT EXISTS @S.QV_CHANGE_IDS;
CREATE TABLE IF NOT EXISTS @S.QV_PASSWORD_CHANGES (
  PID integer PRIMARY KEY,
  CHANGE_ID bigint NOT NULL,
  USER_ID integer NOT NULL);
REVOKE ALL ON @S.QV_SECURED, @S.QV_ADMINS, @S.QV_SESSIONS, @S.QV_PASSWORD_CHANGES FROM PUBLIC;
REVOKE ALL ON @S.QV_SECURED, @S.QV_ADMINS, @S.QV_SESSIONS, @S.QV_PASSWORD_CHANGES FROM @R;
REVOKE ALL ON SEQUENCE @S.QV_SESSION_IDS, @S.QV_CHANGE_IDS FROM PUBLIC, @R;
GRANT SELECT ON SEQUENCE @S.QV_SESSION_IDS TO @R;
)SQL";

// "Today" for every rule of the mode. Created only when missing, so that a
// database whose owner replaced it (a fixed day for tests) keeps its own.
inline constexpr std::string_view kToday = R"SQL(
CREATE FUNCTION @S.QV_TODAY() RETURNS date LANGUAGE sql STABLE AS $f$ SELECT CURRENT_DATE $f$;
)SQL";

// The internal helpers (not granted to the client): the scrambling of
// stored passwords and the date texts under the recorded pattern.
inline constexpr std::string_view kHelpers = R"SQL(
-- The stored form of a password: a byte-wise rolling XOR over its UTF-8
-- bytes, key register starting at 817, exactly as every client scrambles.
CREATE FUNCTION @S.QV_SCRAMBLE(p_plain text) RETURNS bytea
LANGUAGE plpgsql IMMUTABLE SET search_path = @S, pg_temp AS $f$
DECLARE
  v_in bytea := pg_catalog.convert_to(COALESCE(p_plain, ''), 'UTF8');
  v_out bytea := v_in;
  v_key integer := 817;
  v_byte integer;
BEGIN
  FOR i IN 0 .. pg_catalog.length(v_in) - 1 LOOP
    v_byte := pg_catalog.get_byte(v_in, i) # (v_key >> 8);
    v_out := pg_catalog.set_byte(v_out, i, v_byte);
    v_key := (v_key + v_byte + 3) & 65535;
  END LOOP;
  RETURN v_out;
END $f$;

CREATE FUNCTION @S.QV_DATE_PATTERN() RETURNS text LANGUAGE sql STABLE
SET search_path = @S, pg_temp AS $f$
  SELECT pg_catalog.lower(pg_catalog.min(d.DATE_PATTERN)) FROM @S.QVDATEPATTERN d
$f$;

-- A day as the tables store it: the recorded pattern with its elements
-- filled in (two-digit day and month, four-digit year).
CREATE FUNCTION @S.QV_DATE_TEXT(p_day date) RETURNS text LANGUAGE sql STABLE
SET search_path = @S, pg_temp AS $f$
  SELECT pg_catalog.replace(pg_catalog.replace(pg_catalog.replace(@S.QV_DATE_PATTERN(),
    'dd', pg_catalog.to_char(p_day, 'DD')), 'mm', pg_catalog.to_char(p_day, 'MM')),
    'yyyy', pg_catalog.to_char(p_day, 'YYYY'))
$f$;

-- A stored date text as a day, read the way the clients read it: the
-- elements in the recorded order split by its separator, one or two digits
-- for day and month, one to four for the year (one or two digits widened
-- into the century window around today), blanks around ignored. An empty
-- or unreadable text reads as the zero date, 30 December 1899, the value
-- the clients give an empty text.
CREATE FUNCTION @S.QV_STORED_DATE(p_text text) RETURNS date
LANGUAGE plpgsql STABLE SET search_path = @S, pg_temp AS $f$
DECLARE
  v_zero constant date := DATE '1899-12-30';
  v_pattern text := @S.QV_DATE_PATTERN();
  v_order text;
  v_separator text;
  v_parts text[];
  v_element text;
  v_value integer;
  v_day integer;
  v_month integer;
  v_year integer;
  v_this_year integer;
BEGIN
  IF v_pattern IS NULL OR p_text IS NULL THEN RETURN v_zero; END IF;
  v_order := pg_catalog.regexp_replace(pg_catalog.regexp_replace(v_pattern, '[^dmy]', '', 'g'),
                                       '(.)\1+', '\1', 'g');
  v_separator := pg_catalog.left(pg_catalog.regexp_replace(v_pattern, '[dmy]', '', 'g'), 1);
  IF pg_catalog.length(v_order) <> 3 OR v_separator = '' THEN RETURN v_zero; END IF;
  v_parts := pg_catalog.string_to_array(pg_catalog.btrim(p_text, E' \t'), v_separator);
  IF pg_catalog.cardinality(v_parts) <> 3 THEN RETURN v_zero; END IF;
  FOR i IN 1 .. 3 LOOP
    v_element := pg_catalog.substr(v_order, i, 1);
    IF v_parts[i] !~ (CASE WHEN v_element = 'y' THEN '^[0-9]{1,4}$' ELSE '^[0-9]{1,2}$' END) THEN
      RETURN v_zero;
    END IF;
    v_value := v_parts[i]::integer;
    IF v_element = 'd' THEN v_day := v_value;
    ELSIF v_element = 'm' THEN v_month := v_value;
    ELSE
      v_year := v_value;
      IF pg_catalog.length(v_parts[i]) <= 2 THEN
        v_this_year := pg_catalog.date_part('year', @S.QV_TODAY())::integer;
        v_year := v_this_year - v_this_year % 100 + v_value;
        IF v_year > v_this_year + 50 THEN v_year := v_year - 100; END IF;
        IF v_year <= v_this_year - 50 THEN v_year := v_year + 100; END IF;
      END IF;
    END IF;
  END LOOP;
  IF v_year < 1 OR v_month NOT BETWEEN 1 AND 12 OR v_day < 1 THEN RETURN v_zero; END IF;
  IF v_day > pg_catalog.date_part('day', pg_catalog.make_date(v_year, v_month, 1)
                                         + INTERVAL '1 month' - INTERVAL '1 day') THEN
    RETURN v_zero;
  END IF;
  RETURN pg_catalog.make_date(v_year, v_month, v_day);
END $f$;
)SQL";

// The identity: currval() read in the caller's session, the row looked up
// with the owner's rights.
inline constexpr std::string_view kIdentity = R"SQL(
-- The identity of the caller's connection: one row, or none for nobody.
-- Whether the user administers and their profile are read as they are now:
-- a name taken off the administrator list, or a user moved to another
-- profile, holds at once, not at the next login.
CREATE VIEW @S.QV_MY_SESSION AS
  SELECT s.USER_ID, s.APP_KEY::text AS APP_KEY,
         (q.USERQV_NAME = 'master' OR EXISTS (
            SELECT 1 FROM @S.QV_ADMINS a WHERE a.USERQV_NAME = q.USERQV_NAME)) IS TRUE AS IS_ADMIN,
         q.PROFILE_ID
  FROM @S.QV_SESSIONS s LEFT JOIN @S.QUARVEL q ON q.USER_ID = s.USER_ID
  WHERE s.PID = pg_catalog.pg_backend_pid()
    AND s.SESSION_ID = CASE WHEN pg_catalog.current_setting('qv.session_id', true) <> ''
                            THEN pg_catalog.currval('@S.qv_session_ids'::regclass) END;

CREATE FUNCTION @S.QV_SESSION_USER_ID() RETURNS integer LANGUAGE plpgsql STABLE
SET search_path = @S, pg_temp AS $f$ BEGIN RETURN (SELECT v.USER_ID FROM @S.QV_MY_SESSION v); END $f$;

CREATE FUNCTION @S.QV_SESSION_APP_KEY() RETURNS text LANGUAGE plpgsql STABLE
SET search_path = @S, pg_temp AS $f$ BEGIN RETURN (SELECT v.APP_KEY FROM @S.QV_MY_SESSION v); END $f$;

CREATE FUNCTION @S.QV_SESSION_IS_ADMIN() RETURNS boolean LANGUAGE plpgsql STABLE
SET search_path = @S, pg_temp AS $f$
BEGIN
  RETURN COALESCE((SELECT v.IS_ADMIN FROM @S.QV_MY_SESSION v), false);
END $f$;

CREATE FUNCTION @S.QV_SESSION_PROFILE_ID() RETURNS integer LANGUAGE plpgsql STABLE
SET search_path = @S, pg_temp AS $f$ BEGIN RETURN (SELECT v.PROFILE_ID FROM @S.QV_MY_SESSION v); END $f$;

CREATE FUNCTION @S.QV_LOGOUT() RETURNS void LANGUAGE sql VOLATILE SECURITY DEFINER
SET search_path = @S, pg_temp AS $f$
  DELETE FROM @S.QV_SESSIONS s WHERE s.PID = pg_catalog.pg_backend_pid()
$f$;

-- Whether the caller connects as the client role (and not as the owner).
CREATE FUNCTION @S.QV_IS_SECURED_CLIENT() RETURNS boolean LANGUAGE sql STABLE
SET search_path = @S, pg_temp AS $f$
  SELECT pg_catalog.pg_has_role(CURRENT_USER, @RL, 'MEMBER')
     AND NOT pg_catalog.pg_has_role(CURRENT_USER, @OL, 'MEMBER')
$f$;
)SQL";

// The login, mirroring the client's own checks in their order.
inline constexpr std::string_view kLogin = R"SQL(
-- Whether the last password change made in this session was the user's
-- (none yet: false).
CREATE FUNCTION @S.QV_CHANGED_HERE(p_user_id integer) RETURNS boolean
LANGUAGE plpgsql VOLATILE SET search_path = @S, pg_temp AS $f$
DECLARE
  v_last bigint;
BEGIN
  BEGIN
    v_last := pg_catalog.currval('@S.qv_change_ids'::regclass);
  EXCEPTION WHEN object_not_in_prerequisite_state THEN
    RETURN false;
  END;
  RETURN EXISTS (SELECT 1 FROM @S.QV_PASSWORD_CHANGES c
                 WHERE c.PID = pg_catalog.pg_backend_pid() AND c.CHANGE_ID = v_last AND c.USER_ID = p_user_id);
END $f$;

CREATE FUNCTION @S.QV_LOGIN(p_name text, p_password text, p_app_key text)
RETURNS TABLE(STATUS text, USERQV_NAME varchar, REAL_NAME varchar, USER_ID integer,
  LAST_PWD_CHANGE varchar, PROFILE_ID integer, AUDIT_MODE varchar, INFO_USER_ID integer,
  INFO_EXPIRATION_DATE varchar, INFO_USER_EXPIRE varchar, INFO_USER_ACTIVE varchar, PROF_ID integer,
  PROF_DESCRIPTION varchar, PROF_AUDIT_MODE varchar, PROF_MUST_CHANGE_PWD varchar,
  PROF_INTERVAL_CHANGE_PWD smallint, PROF_HIDE_DISABLE_MENU smallint)
LANGUAGE plpgsql VOLATILE SECURITY DEFINER SET search_path = @S, pg_temp AS $f$
#variable_conflict use_column
DECLARE
  v_user @S.QUARVEL%ROWTYPE;
  v_info @S.USERINFO%ROWTYPE;
  v_prof @S.PROFILES%ROWTYPE;
  v_has_info boolean;
  v_has_prof boolean;
  v_today date := @S.QV_TODAY();
  v_session bigint;
BEGIN
  SELECT q.* INTO v_user FROM @S.QUARVEL q WHERE q.USERQV_NAME = p_name;
  IF NOT FOUND THEN
    STATUS := 'unknown_user';
    RETURN NEXT;
    RETURN;
  END IF;
  IF @S.QV_SCRAMBLE(p_password) IS DISTINCT FROM COALESCE(v_user.USER_PWD, '\x'::bytea) THEN
    STATUS := 'wrong_password';
    RETURN NEXT;
    RETURN;
  END IF;
  SELECT i.* INTO v_info FROM @S.USERINFO i WHERE i.USER_ID = v_user.USER_ID AND i.APP_KEY = p_app_key;
  v_has_info := FOUND;
  SELECT p.* INTO v_prof FROM @S.PROFILES p WHERE p.PROF_ID = v_user.PROFILE_ID;
  v_has_prof := FOUND;

  USERQV_NAME := v_user.USERQV_NAME;
  REAL_NAME := v_user.REAL_NAME;
  USER_ID := v_user.USER_ID;
  LAST_PWD_CHANGE := v_user.LAST_PWD_CHANGE;
  PROFILE_ID := v_user.PROFILE_ID;
  AUDIT_MODE := v_user.AUDIT_MODE;
  IF v_has_info THEN
    INFO_USER_ID := v_info.USER_ID;
    INFO_EXPIRATION_DATE := v_info.EXPIRATION_DATE;
    INFO_USER_EXPIRE := v_info.USER_EXPIRE;
    INFO_USER_ACTIVE := v_info.USER_ACTIVE;
  END IF;
  IF v_has_prof THEN
    PROF_ID := v_prof.PROF_ID;
    PROF_DESCRIPTION := v_prof.PROF_DESCRIPTION;
    PROF_AUDIT_MODE := v_prof.AUDIT_MODE;
    PROF_MUST_CHANGE_PWD := v_prof.MUST_CHANGE_PWD;
    PROF_INTERVAL_CHANGE_PWD := v_prof.INTERVAL_CHANGE_PWD;
    PROF_HIDE_DISABLE_MENU := v_prof.HIDE_DISABLE_MENU;
  END IF;

  -- The built-in administrator skips the refusals and the profile's rule.
  IF p_name <> 'master' THEN
    IF NOT v_has_info OR v_info.USER_ACTIVE IS DISTINCT FROM '1' THEN
      STATUS := 'inactive';
      RETURN NEXT;
      RETURN;
    END IF;
    IF v_info.USER_EXPIRE = '1' AND v_today >= @S.QV_STORED_DATE(v_info.EXPIRATION_DATE) THEN
      -- An expired account is switched off in this application for good.
      UPDATE @S.USERINFO i SET USER_ACTIVE = '0'
      WHERE i.USER_ID = v_user.USER_ID AND i.APP_KEY = p_app_key;
      INFO_USER_ACTIVE := '0';
      STATUS := 'expired';
      RETURN NEXT;
      RETURN;
    END IF;
    IF v_has_prof AND v_prof.MUST_CHANGE_PWD = '1'
       AND v_today >= @S.QV_STORED_DATE(v_user.LAST_PWD_CHANGE) + COALESCE(v_prof.INTERVAL_CHANGE_PWD, 0)
       AND NOT @S.QV_CHANGED_HERE(v_user.USER_ID) THEN
      STATUS := 'must_change';
      RETURN NEXT;
      RETURN;
    END IF;
  END IF;

  v_session := pg_catalog.nextval('@S.qv_session_ids'::regclass);
  INSERT INTO @S.QV_SESSIONS AS s (PID, SESSION_ID, USER_ID, APP_KEY, IS_ADMIN)
  VALUES (pg_catalog.pg_backend_pid(), v_session, v_user.USER_ID, p_app_key,
          p_name = 'master' OR EXISTS (SELECT 1 FROM @S.QV_ADMINS a WHERE a.USERQV_NAME = p_name))
  ON CONFLICT (PID) DO UPDATE SET SESSION_ID = EXCLUDED.SESSION_ID, USER_ID = EXCLUDED.USER_ID,
    APP_KEY = EXCLUDED.APP_KEY, IS_ADMIN = EXCLUDED.IS_ADMIN;
  PERFORM pg_catalog.set_config('qv.session_id', v_session::text, false);
  -- A change admits one login only.
  DELETE FROM @S.QV_PASSWORD_CHANGES c WHERE c.PID = pg_catalog.pg_backend_pid();

  STATUS := 'ok';
  RETURN NEXT;
END $f$;
)SQL";

// The password change and the checks of the change dialog.
inline constexpr std::string_view kPasswords = R"SQL(
CREATE FUNCTION @S.QV_CHECK_PASSWORD(p_name text, p_password text) RETURNS boolean
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = @S, pg_temp AS $f$
  SELECT EXISTS (SELECT 1 FROM @S.QUARVEL q WHERE q.USERQV_NAME = p_name
                 AND COALESCE(q.USER_PWD, '\x'::bytea) = @S.QV_SCRAMBLE(p_password))
$f$;

-- Whether p_candidate was this user's password: the current one or one in
-- the history. False unless p_current is the user's password.
CREATE FUNCTION @S.QV_IS_FORMER_PASSWORD(p_name text, p_current text, p_candidate text) RETURNS boolean
LANGUAGE sql STABLE SECURITY DEFINER SET search_path = @S, pg_temp AS $f$
  SELECT EXISTS (SELECT 1 FROM @S.QUARVEL q WHERE q.USERQV_NAME = p_name
                 AND COALESCE(q.USER_PWD, '\x'::bytea) = @S.QV_SCRAMBLE(p_current)
                 AND (p_candidate = p_current OR EXISTS (
                   SELECT 1 FROM @S.HISTORY h WHERE h.USER_ID = q.USER_ID AND h.USER_PWD = p_candidate)))
$f$;

-- The new password, its date and the history row of the replaced one, all
-- in this one call or not at all.
CREATE FUNCTION @S.QV_CHANGE_PASSWORD(p_name text, p_current text, p_new text) RETURNS text
LANGUAGE plpgsql VOLATILE SECURITY DEFINER SET search_path = @S, pg_temp AS $f$
DECLARE
  v_user_id integer;
  v_stored bytea;
  v_today text;
BEGIN
  SELECT q.USER_ID, q.USER_PWD INTO v_user_id, v_stored
  FROM @S.QUARVEL q WHERE q.USERQV_NAME = p_name FOR UPDATE;
  IF NOT FOUND THEN RETURN 'unknown_user'; END IF;
  IF @S.QV_SCRAMBLE(p_current) IS DISTINCT FROM COALESCE(v_stored, '\x'::bytea) THEN
    RETURN 'wrong_password';
  END IF;
  IF p_new IS NULL OR pg_catalog.char_length(p_new) NOT BETWEEN 1 AND 20 THEN RETURN 'invalid'; END IF;
  IF p_new = COALESCE(p_current, '') OR EXISTS (
       SELECT 1 FROM @S.HISTORY h WHERE h.USER_ID = v_user_id AND h.USER_PWD = p_new) THEN
    RETURN 'former_password';
  END IF;
  v_today := @S.QV_DATE_TEXT(@S.QV_TODAY());
  UPDATE @S.QUARVEL q SET USER_PWD = @S.QV_SCRAMBLE(p_new), LAST_PWD_CHANGE = v_today
  WHERE q.USER_ID = v_user_id;
  INSERT INTO @S.HISTORY (USER_ID, USER_PWD, CHANGE_DATE) VALUES (v_user_id, COALESCE(p_current, ''), v_today);
  INSERT INTO @S.QV_PASSWORD_CHANGES AS c (PID, CHANGE_ID, USER_ID)
  VALUES (pg_catalog.pg_backend_pid(), pg_catalog.nextval('@S.qv_change_ids'::regclass), v_user_id)
  ON CONFLICT (PID) DO UPDATE SET CHANGE_ID = EXCLUDED.CHANGE_ID, USER_ID = EXCLUDED.USER_ID;
  RETURN 'ok';
END $f$;
)SQL";

// The functions the client role may call (the rest stay the owner's).
inline constexpr std::string_view kClientFunctions[] = {
    "QV_LOGIN(text, text, text)",
    "QV_CHANGE_PASSWORD(text, text, text)",
    "QV_CHECK_PASSWORD(text, text)",
    "QV_IS_FORMER_PASSWORD(text, text, text)",
    "QV_SESSION_USER_ID()",
    "QV_SESSION_APP_KEY()",
    "QV_SESSION_IS_ADMIN()",
    "QV_SESSION_PROFILE_ID()",
    "QV_LOGOUT()",
};

// Row security. Every role may use every row (qv_all), so programs that
// connect as the owner or as another role with privileges of its own keep
// working; for the client role (and its members) restrictive policies add
// the rules of the person logged in. The identity is read from QV_MY_SESSION
// in uncorrelated subqueries, which run once per statement.
inline constexpr std::string_view kEveryonePolicy =
    "CREATE POLICY qv_all ON @S.@T TO PUBLIC USING (true) WITH CHECK (true)";
inline constexpr std::string_view kAdmin = "EXISTS (SELECT 1 FROM @S.QV_MY_SESSION v WHERE v.IS_ADMIN)";
inline constexpr std::string_view kMe = "(SELECT v.USER_ID FROM @S.QV_MY_SESSION v)";
inline constexpr std::string_view kMyProfile = "(SELECT v.PROFILE_ID FROM @S.QV_MY_SESSION v)";
// Audit rows only of one's own commands in the application logged into.
inline constexpr std::string_view kOwnAuditRow =
    "(USER_ID, APP_KEY::text) = (SELECT v.USER_ID, v.APP_KEY FROM @S.QV_MY_SESSION v)";

}  // namespace qv::secured_sql
