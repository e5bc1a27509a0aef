-- Deterministic sample data: every figure follows from the row's position, so the ledger is the
-- same on every machine.
INSERT INTO companies VALUES
  (1, '01', '华东实业有限公司', 'RMB'),
  (2, '02', '华南贸易有限公司', 'RMB');

INSERT INTO currencies VALUES
  ('RMB', '人民币', 1),
  ('USD', '美元', 0),
  ('HKD', '港币', 0),
  ('EUR', '欧元', 0);

INSERT INTO periods (year, period, begin_date, end_date)
WITH RECURSIVE y(year) AS (SELECT 2023 UNION ALL SELECT year + 1 FROM y WHERE year < 2024),
               p(period) AS (SELECT 1 UNION ALL SELECT period + 1 FROM p WHERE period < 12)
SELECT year, period,
       printf('%04d-%02d-01', year, period),
       date(printf('%04d-%02d-01', year, period), '+1 month', '-1 day')
FROM y, p;

INSERT INTO rates (currency, year, period, rate)
SELECT c.code, p.year, p.period,
       round(CASE c.code WHEN 'USD' THEN 7.05 WHEN 'HKD' THEN 0.902 ELSE 7.71 END
             + ((p.year - 2023) * 12 + p.period) * CASE c.code WHEN 'HKD' THEN 0.001 ELSE 0.01 END, 4)
FROM currencies c, periods p
WHERE c.is_base = 0;

-- The first level of the chart of accounts, shared by both companies.
CREATE TEMP TABLE top_accounts (code TEXT, name TEXT);
INSERT INTO top_accounts VALUES
  ('1001', '库存现金'), ('1002', '银行存款'), ('1012', '其他货币资金'), ('1101', '交易性金融资产'),
  ('1121', '应收票据'), ('1122', '应收账款'), ('1123', '预付账款'), ('1221', '其他应收款'),
  ('1401', '材料采购'), ('1403', '原材料'), ('1405', '库存商品'), ('1511', '长期股权投资'),
  ('1601', '固定资产'), ('1602', '累计折旧'), ('1701', '无形资产'), ('2001', '短期借款'),
  ('2201', '应付票据'), ('2202', '应付账款'), ('2203', '预收账款'), ('2211', '应付职工薪酬'),
  ('2221', '应交税费'), ('2241', '其他应付款'), ('4001', '实收资本'), ('4101', '盈余公积'),
  ('4103', '本年利润'), ('5001', '生产成本'), ('6001', '主营业务收入'), ('6401', '主营业务成本'),
  ('6601', '销售费用'), ('6602', '管理费用'), ('6603', '财务费用');

CREATE TEMP TABLE sub_names (n INTEGER, name TEXT);
INSERT INTO sub_names VALUES
  (1, '总部'), (2, '华东分部'), (3, '华南分部'), (4, '华北分部'), (5, '西南分部'),
  (6, '东北分部'), (7, '西北分部'), (8, '海外分部'), (9, '其他');

INSERT INTO accounts (company_id, code, name, level, parent, is_leaf)
SELECT c.id, t.code, t.name, 1, NULL, 0 FROM companies c, top_accounts t;

INSERT INTO accounts (company_id, code, name, level, parent, is_leaf)
SELECT c.id, t.code || printf('%02d', s.n), t.name || '－' || s.name, 2, t.code, 1
FROM companies c, top_accounts t, sub_names s;

INSERT INTO datasources VALUES
  ('本地账套', '华东实业有限公司的账套', 1, 'DSN=本地账套;COMPANY=1;DB=LEDGER'),
  ('华南账套', '华南贸易有限公司的账套', 2, 'DSN=华南账套;COMPANY=2;DB=LEDGER');

-- Amounts per leaf account and period: debits and credits spread by the account's position,
-- in the base currency for every account and in US dollars for the bank accounts.
CREATE TEMP TABLE leaf_rows AS
SELECT company_id, code, row_number() OVER (ORDER BY company_id, code) AS k
FROM accounts WHERE is_leaf = 1;

CREATE TEMP TABLE amounts AS
SELECT l.company_id, l.code AS account, cur.code AS currency, p.year, p.period,
       ((l.k * 7919 + p.year * 31 + p.period * 104729 + length(cur.code) * 13) % 500000) / 100.0 AS debit,
       ((l.k * 104729 + p.year * 17 + p.period * 7919 + length(cur.code) * 7) % 450000) / 100.0 AS credit,
       ((l.k * 2654435) % 1000000) / 100.0 AS start
FROM leaf_rows l, periods p, currencies cur
WHERE cur.code = 'RMB' OR (cur.code = 'USD' AND l.code LIKE '1002%');

INSERT INTO balances (company_id, account, currency, year, period, opening, debit, credit, closing)
SELECT company_id, account, currency, year, period,
       round(start + running - (debit - credit), 2), debit, credit, round(start + running, 2)
FROM (SELECT *, sum(debit - credit) OVER (PARTITION BY company_id, account, currency
                                          ORDER BY year, period) AS running
      FROM amounts);

DROP TABLE amounts;
DROP TABLE leaf_rows;
DROP TABLE sub_names;
DROP TABLE top_accounts;
