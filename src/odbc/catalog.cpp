#include "odbc/catalog.h"

#include <sqlext.h>

#include <algorithm>

#include "odbc/column_value.h"
#include "odbc/odbc.h"

namespace kestrel {

namespace {

std::string withoutTrailingBlanks(std::string text) {
  const std::size_t end = text.find_last_not_of(' ');
  text.erase(end == std::string::npos ? 0 : end + 1);
  return text;
}

// A character or integer result column of a catalog query, bound by number.
BoundValue* bindCatalogColumn(OdbcStatement& statement, std::int16_t number, bool integer) {
  ColumnDescription d;
  d.number = number;
  d.sqlType = integer ? SQL_INTEGER : SQL_VARCHAR;
  d.precision = integer ? 10 : 254;
  completeBinding(d);
  return statement.bindColumn(number, &d);
}

std::string textOf(const BoundValue* value) {
  std::string text;
  if (value && !value->isNull()) value->getText(text);
  return withoutTrailingBlanks(text);
}

std::int32_t numberOf(const BoundValue* value) {
  std::int32_t number = 0;
  if (value && !value->isNull()) value->getLong(number);
  return number;
}

}  // namespace

bool Catalog::connect(OdbcConnection& connection, const CatalogSource& source) {
  // The caller shows what went wrong; a box would say it twice.
  connection.silent = true;
  return connection.connect(source.dataSource, source.userId, source.password);
}

bool Catalog::fail() {
  lastError_ = environment_.lastError();
  return false;
}

std::vector<std::string> Catalog::dataSourceNames() {
  std::vector<std::string> names;
  // The enumeration starts again after its end; a first call that ends at
  // once means there is none.
  while (std::optional<std::string> name = environment_.nextDataSource()) {
    if (std::find(names.begin(), names.end(), *name) != names.end()) break;
    names.push_back(*name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool Catalog::tables(const CatalogSource& source, const std::string& qualifierMask,
                     const std::string& creatorMask, const std::string& tableMask,
                     unsigned typeFlags, std::vector<CatalogTable>& found) {
  found.clear();
  OdbcConnection connection(environment_);
  OdbcStatement statement;
  if (!connect(connection, source)) return fail();
  if (!connection.queryTables(statement, qualifierMask, creatorMask, tableMask, typeFlags))
    return fail();
  BoundValue* qualifier = bindCatalogColumn(statement, 1, false);
  BoundValue* creator = bindCatalogColumn(statement, 2, false);
  BoundValue* name = bindCatalogColumn(statement, 3, false);
  BoundValue* type = bindCatalogColumn(statement, 4, false);
  if (!qualifier || !creator || !name || !type) return fail();
  FetchResult fetched = FetchResult::EndOfData;
  while ((fetched = statement.fetch())) {
    found.push_back({textOf(qualifier), textOf(creator), textOf(name), textOf(type)});
  }
  if (fetched.failed()) return fail();
  return true;
}

bool Catalog::columns(const CatalogSource& source, const std::string& qualifier,
                      const std::string& creator, const std::string& table,
                      std::vector<CatalogColumn>& found) {
  found.clear();
  OdbcConnection connection(environment_);
  OdbcStatement statement;
  if (!connect(connection, source)) return fail();
  if (!connection.queryColumns(statement, qualifier, creator, table, "%")) return fail();
  BoundValue* name = bindCatalogColumn(statement, 4, false);
  BoundValue* type = bindCatalogColumn(statement, 5, true);
  BoundValue* precision = bindCatalogColumn(statement, 7, true);
  BoundValue* scale = bindCatalogColumn(statement, 9, true);
  BoundValue* remarks = bindCatalogColumn(statement, 12, false);
  if (!name || !type || !precision || !scale || !remarks) return fail();
  FetchResult fetched = FetchResult::EndOfData;
  while ((fetched = statement.fetch())) {
    CatalogColumn column;
    column.name = textOf(name);
    column.sqlType = static_cast<std::int16_t>(numberOf(type));
    column.precision = numberOf(precision);
    column.scale = static_cast<std::int16_t>(numberOf(scale));
    column.remarks = textOf(remarks);
    found.push_back(std::move(column));
  }
  if (fetched.failed()) return fail();
  return true;
}

bool Catalog::selectColumns(const CatalogSource& source, const std::string& select,
                            std::vector<CatalogColumn>& found) {
  found.clear();
  OdbcConnection connection(environment_);
  OdbcStatement statement;
  if (!connect(connection, source)) return fail();
  SqlRequest request;
  request.text = select;
  if (!connection.execute(request, statement)) return fail();
  const std::int16_t count = statement.resultColumnCount();
  for (std::int16_t number = 1; number <= count; ++number) {
    ColumnDescription d;
    // A column of a type without a binding is still a column of the result.
    if (!statement.describeColumn(number, d) && d.name.empty()) return fail();
    CatalogColumn column;
    column.name = withoutTrailingBlanks(d.name);
    column.sqlType = d.sqlType;
    column.precision = d.precision;
    column.scale = d.scale;
    found.push_back(std::move(column));
  }
  return true;
}

}  // namespace kestrel
