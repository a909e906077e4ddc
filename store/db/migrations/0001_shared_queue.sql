-- The shared queue of many gateways: one row per recipient to send, one per message received, one per
-- delivery report. Texts are UTF-8; numbers as the operator typed them.

CREATE TABLE outbox (
    id          bigserial PRIMARY KEY,
    origin      text        NOT NULL,             -- the writer's gateway name: whose spool holds the local copy
    day         text        NOT NULL,             -- the spool day of the local copy
    record      integer     NOT NULL,             -- its record number there
    idx         integer     NOT NULL,             -- the recipient's place in the record, from 1
    number      text        NOT NULL,
    body        text        NOT NULL,             -- the message text
    coding      text        NOT NULL CHECK (coding IN ('ucs2', 'gsm7')),
    long_message boolean    NOT NULL DEFAULT false,
    reply_to    bigint,                           -- the inbox row this row answers (an on-demand reply)
    state       text        NOT NULL DEFAULT 'pending'
                            CHECK (state IN ('pending', 'leased', 'sent', 'failed')),
    gateway     text,                             -- the gateway that claimed it last
    lease_until timestamptz,
    attempts    integer     NOT NULL DEFAULT 0,   -- how many times it was claimed
    result      text,                             -- what the modem said
    created_at  timestamptz NOT NULL DEFAULT now(),
    leased_at   timestamptz,
    done_at     timestamptz,
    UNIQUE (origin, day, record, idx)
);

-- Claims look only at rows still to send, oldest first.
CREATE INDEX outbox_waiting ON outbox (id) WHERE state IN ('pending', 'leased');
CREATE INDEX outbox_record ON outbox (origin, day, record);

CREATE TABLE inbox (
    id          bigserial PRIMARY KEY,
    gateway     text        NOT NULL,             -- the gateway whose modem received it
    day         text        NOT NULL,             -- the spool day and record of its local copy
    record      integer     NOT NULL,
    sender      text        NOT NULL,
    body        text        NOT NULL,
    received_at timestamptz NOT NULL DEFAULT now(),
    UNIQUE (gateway, day, record)
);

CREATE TABLE delivery (
    id          bigserial PRIMARY KEY,
    outbox_id   bigint REFERENCES outbox (id),
    gateway     text        NOT NULL,
    number      text        NOT NULL,
    reference   integer     NOT NULL,             -- the message reference the network gave
    status      integer     NOT NULL,             -- TP-ST
    outcome     text        NOT NULL CHECK (outcome IN ('delivered', 'failed', 'pending')),
    reported_at timestamptz NOT NULL DEFAULT now()
);
