-- The cash-flow statements of the sample companies under two report schemes. Scheme 1 lists every
-- item; its net increase of cash is exactly the period's movement of the cash accounts (1001, 1002
-- and 1012 in the base currency): the cash received from sales is what makes it so. Scheme 2 is
-- the short form, one line per section of scheme 1. Every other figure follows from the row's
-- position, as in seed.sql.
INSERT INTO cashflow_schemes VALUES
  (1, '现金流量表（一般企业）'),
  (2, '现金流量表（简表）');

-- Scheme 1: each item is in a section (1 operating, 2 investing, 3 financing), moves cash in (1)
-- or out (-1), or is its section's net (0); section 0 holds the net increase of all three. The
-- generated amounts lie between base and base + spread.
CREATE TEMP TABLE items (code TEXT, name TEXT, line INTEGER, section INTEGER, direction INTEGER,
                         base REAL, spread INTEGER);
INSERT INTO items VALUES
  ('1101', '销售商品、提供劳务收到的现金', 1, 1, 1, NULL, NULL),
  ('1102', '收到的税费返还', 2, 1, 1, 200, 150000),
  ('1103', '收到其他与经营活动有关的现金', 3, 1, 1, 500, 300000),
  ('1104', '购买商品、接受劳务支付的现金', 4, 1, -1, 40000, 2000000),
  ('1105', '支付给职工以及为职工支付的现金', 5, 1, -1, 12000, 600000),
  ('1106', '支付的各项税费', 6, 1, -1, 3000, 400000),
  ('1107', '支付其他与经营活动有关的现金', 7, 1, -1, 1000, 300000),
  ('1100', '经营活动产生的现金流量净额', 8, 1, 0, NULL, NULL),
  ('1201', '收回投资收到的现金', 9, 2, 1, 0, 500000),
  ('1202', '取得投资收益收到的现金', 10, 2, 1, 0, 200000),
  ('1203', '购建固定资产、无形资产和其他长期资产支付的现金', 11, 2, -1, 2000, 800000),
  ('1204', '投资支付的现金', 12, 2, -1, 0, 600000),
  ('1200', '投资活动产生的现金流量净额', 13, 2, 0, NULL, NULL),
  ('1301', '吸收投资收到的现金', 14, 3, 1, 0, 300000),
  ('1302', '取得借款收到的现金', 15, 3, 1, 5000, 900000),
  ('1303', '偿还债务支付的现金', 16, 3, -1, 4000, 800000),
  ('1304', '分配股利、利润或偿付利息支付的现金', 17, 3, -1, 500, 200000),
  ('1300', '筹资活动产生的现金流量净额', 18, 3, 0, NULL, NULL),
  ('1400', '现金及现金等价物净增加额', 19, 0, 0, NULL, NULL);

INSERT INTO cashflow_items (scheme, code, name, line) SELECT 1, code, name, line FROM items;

-- The items with amounts of their own.
INSERT INTO cashflows (company_id, scheme, item, year, period, amount)
SELECT c.id, 1, i.code, p.year, p.period,
       round(i.base + ((c.id * 7919 + p.year * 31 + p.period * 104729 + i.line * 7727) % i.spread) / 100.0, 2)
FROM companies c, periods p, items i
WHERE i.spread IS NOT NULL;

-- Cash received from sales: the movement of the cash accounts less what the other items moved.
INSERT INTO cashflows (company_id, scheme, item, year, period, amount)
SELECT m.company_id, 1, '1101', m.year, m.period, round(m.movement - COALESCE(o.moved, 0), 2)
FROM (SELECT b.company_id, b.year, b.period, SUM(b.debit - b.credit) AS movement
      FROM balances b JOIN companies c ON c.id = b.company_id AND b.currency = c.base_currency
      WHERE b.account LIKE '1001%' OR b.account LIKE '1002%' OR b.account LIKE '1012%'
      GROUP BY b.company_id, b.year, b.period) m
LEFT JOIN (SELECT f.company_id, f.year, f.period, SUM(i.direction * f.amount) AS moved
           FROM cashflows f JOIN items i ON i.code = f.item
           WHERE f.scheme = 1
           GROUP BY f.company_id, f.year, f.period) o
  ON o.company_id = m.company_id AND o.year = m.year AND o.period = m.period;

-- The net of each section, then the net increase.
INSERT INTO cashflows (company_id, scheme, item, year, period, amount)
SELECT f.company_id, 1, n.code, f.year, f.period, round(SUM(i.direction * f.amount), 2)
FROM cashflows f
JOIN items i ON i.code = f.item AND i.direction <> 0
JOIN items n ON n.section = i.section AND n.direction = 0
WHERE f.scheme = 1
GROUP BY f.company_id, n.code, f.year, f.period;

INSERT INTO cashflows (company_id, scheme, item, year, period, amount)
SELECT company_id, 1, '1400', year, period, round(SUM(amount), 2)
FROM cashflows
WHERE scheme = 1 AND item IN ('1100', '1200', '1300')
GROUP BY company_id, year, period;

-- Scheme 2: the nets of scheme 1 under codes of its own.
CREATE TEMP TABLE short_items (code TEXT, name TEXT, line INTEGER, full_item TEXT);
INSERT INTO short_items VALUES
  ('01', '经营活动现金净流量', 1, '1100'),
  ('02', '投资活动现金净流量', 2, '1200'),
  ('03', '筹资活动现金净流量', 3, '1300'),
  ('04', '现金净增加额', 4, '1400');

INSERT INTO cashflow_items (scheme, code, name, line) SELECT 2, code, name, line FROM short_items;

INSERT INTO cashflows (company_id, scheme, item, year, period, amount)
SELECT f.company_id, 2, s.code, f.year, f.period, f.amount
FROM cashflows f JOIN short_items s ON s.full_item = f.item
WHERE f.scheme = 1;

DROP TABLE short_items;
DROP TABLE items;
