-- A company's shared records database of one million shots, made on the server itself: 200
-- sites of 10 breakers, each tested in 5 sessions over three years (2024 to 2026), 4 test
-- points a session, 25 shots a point a minute apart; the shots share 100 waveform files of
-- 32 kB. Ids are UUID text made from the row's place, so the data are the same every run
-- (but the session days, drawn with a fixed seed).
SELECT setseed(0.42);

INSERT INTO site (id, name, notes, created_at, updated_at)
SELECT md5('site' || s)::uuid::text, 'Site ' || s, '', '2024-01-01T00:00:00.000Z',
       '2024-01-01T00:00:00.000Z'
FROM generate_series(0, 199) s;

INSERT INTO breaker (id, site_id, location, designation, maker, model, serial, rated_a,
                     settings, created_at, updated_at)
SELECT md5('breaker' || s || '-' || b)::uuid::text, md5('site' || s)::uuid::text,
       'Room ' || b, 'Q' || b, 'Maker', 'M' || b, 'SN' || s || '-' || b, 400, '',
       '2024-01-01T00:00:00.000Z', '2024-01-01T00:00:00.000Z'
FROM generate_series(0, 199) s, generate_series(0, 9) b;

INSERT INTO session (id, breaker_id, started_at, operator_name, condition, analyzer_serial,
                     analyzer_cal_date, notes, created_at, updated_at)
SELECT md5('session' || s || '-' || b || '-' || e)::uuid::text,
       md5('breaker' || s || '-' || b)::uuid::text,
       to_char(timestamp '2024-01-01' + floor(random() * 1095) * interval '1 day'
                   + interval '8 hours', 'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"'),
       'Technician ' || (s % 7), CASE WHEN e % 2 = 0 THEN 'as-found' ELSE 'as-left' END,
       'SN-4711', '2023-12-01', '', '2024-01-01T00:00:00.000Z', '2024-01-01T00:00:00.000Z'
FROM generate_series(0, 199) s, generate_series(0, 9) b, generate_series(0, 4) e;

INSERT INTO test_point (id, session_id, pole, kind, multiple, band_min_s, band_max_s,
                        must_not_trip, hold_s, tolerance, created_at, updated_at)
SELECT md5(e.id || '-' || p)::uuid::text, e.id, (ARRAY['A', 'B', 'C', 'N'])[p + 1],
       'long-time', 3, 0.1, 0.5, 0, NULL, 0.1, e.created_at, e.updated_at
FROM session e, generate_series(0, 3) p;

INSERT INTO waveform (id, size_bytes, bytes)
SELECT md5('waveform' || w), 32000, convert_to(repeat(md5('waveform' || w), 1000), 'UTF8')
FROM generate_series(0, 99) w;

INSERT INTO shot (id, test_point_id, taken_at, current_a, current_decimals, multiple, seconds,
                  cycles, suspect, under_range, cut_short, data_errors, band_min_s, band_max_s,
                  verdict, current_off_target, range_index, source, pulse, waveform_id,
                  created_at)
SELECT md5(p.id || '-' || k)::uuid::text, p.id,
       to_char(e.started_at::timestamptz AT TIME ZONE 'UTC' + k * interval '1 minute',
               'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"'),
       1200, 1, 3, 0.05 + (k % 12) * 0.05, (0.05 + (k % 12) * 0.05) * 60, 0, 0, 0, 0, 0.1, 0.5,
       CASE WHEN k % 12 = 0 THEN 'FAIL FAST' WHEN k % 12 >= 10 THEN 'FAIL SLOW' ELSE 'PASS' END,
       0, 5, '', k, md5('waveform' || (hashtext(p.id) & 65535) % 100), e.created_at
FROM test_point p JOIN session e ON e.id = p.session_id, generate_series(1, 25) k;

ANALYZE;
