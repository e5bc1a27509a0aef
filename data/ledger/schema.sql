-- The sample ledger of the embedded report system: companies, their charts of accounts,
-- currencies and rates, balances per period for two years, and their cash flows.
CREATE TABLE companies (
  id INTEGER PRIMARY KEY,
  code TEXT NOT NULL,
  name TEXT NOT NULL,
  base_currency TEXT NOT NULL
);
CREATE TABLE currencies (
  code TEXT PRIMARY KEY,
  name TEXT NOT NULL,
  is_base INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE periods (
  year INTEGER NOT NULL,
  period INTEGER NOT NULL,
  begin_date TEXT NOT NULL,
  end_date TEXT NOT NULL,
  PRIMARY KEY (year, period)
);
CREATE TABLE rates (
  currency TEXT NOT NULL REFERENCES currencies(code),
  year INTEGER NOT NULL,
  period INTEGER NOT NULL,
  rate REAL NOT NULL,
  PRIMARY KEY (currency, year, period)
);
CREATE TABLE accounts (
  company_id INTEGER NOT NULL REFERENCES companies(id),
  code TEXT NOT NULL,
  name TEXT NOT NULL,
  level INTEGER NOT NULL,
  parent TEXT,
  is_leaf INTEGER NOT NULL,
  PRIMARY KEY (company_id, code)
);
-- Balances of leaf accounts, debit positive: closing = opening + debit - credit.
CREATE TABLE balances (
  company_id INTEGER NOT NULL,
  account TEXT NOT NULL,
  currency TEXT NOT NULL,
  year INTEGER NOT NULL,
  period INTEGER NOT NULL,
  opening REAL NOT NULL,
  debit REAL NOT NULL,
  credit REAL NOT NULL,
  closing REAL NOT NULL,
  PRIMARY KEY (company_id, account, currency, year, period)
);
CREATE TABLE datasources (
  name TEXT PRIMARY KEY,
  description TEXT NOT NULL,
  company_id INTEGER NOT NULL REFERENCES companies(id),
  props TEXT NOT NULL
);
-- Cash-flow report schemes, each a list of items in the order its statement shows them.
CREATE TABLE cashflow_schemes (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL
);
CREATE TABLE cashflow_items (
  scheme INTEGER NOT NULL REFERENCES cashflow_schemes(id),
  code TEXT NOT NULL,
  name TEXT NOT NULL,
  line INTEGER NOT NULL,
  PRIMARY KEY (scheme, code)
);
-- The cash an item of a scheme moved in a company's period, in the base currency; an outflow is
-- positive too, as the statement shows it.
CREATE TABLE cashflows (
  company_id INTEGER NOT NULL REFERENCES companies(id),
  scheme INTEGER NOT NULL,
  item TEXT NOT NULL,
  year INTEGER NOT NULL,
  period INTEGER NOT NULL,
  amount REAL NOT NULL,
  PRIMARY KEY (company_id, scheme, item, year, period)
);
-- Stored reports: a workbook as JSON text (see src/sample/Workbook.h) kept in a data source under
-- a number and a name. name_key, the name without surrounding blanks in upper case, is filled in
-- by the build after the scripts have run; names are unique by it within a data source.
CREATE TABLE reports (
  datasource TEXT NOT NULL REFERENCES datasources(name),
  id INTEGER NOT NULL,
  name TEXT NOT NULL,
  name_key TEXT,
  workbook TEXT NOT NULL,
  PRIMARY KEY (datasource, id),
  UNIQUE (datasource, name_key)
);
