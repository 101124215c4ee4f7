#pragma once
// What the script editor's dialogs ask of the data sources, as plain values:
// the names of the data sources, the tables that match masks, and the columns
// of a table or of a SELECT's result. Each look-up connects, asks and
// disconnects again on a connection of its own that never shows a message
// box; a failure returns false with the driver's message.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrel {

class OdbcConnection;
class OdbcEnvironment;

struct CatalogTable {
  std::string qualifier;
  std::string creator;
  std::string name;
  std::string type;  // as the driver names it: "TABLE", "VIEW", ...
};

struct CatalogColumn {
  std::string name;
  std::string remarks;
  std::int32_t precision = 0;
  std::int16_t scale = 0;
  std::int16_t sqlType = 0;
};

// Where to look: the data source and its login.
struct CatalogSource {
  std::string dataSource;
  std::string userId;
  std::string password;
};

class Catalog {
 public:
  // The environment must outlive the catalog; it is opened when needed.
  explicit Catalog(OdbcEnvironment& environment) : environment_(environment) {}

  // Every data source the driver manager knows, sorted by name.
  std::vector<std::string> dataSourceNames();
  // The tables whose qualifier, creator and name match the masks ("%" and
  // "_" as in SQL LIKE; an empty mask matches everything) and whose type is
  // one of `typeFlags` (TableTypeFlags of odbc.h).
  bool tables(const CatalogSource& source, const std::string& qualifierMask,
              const std::string& creatorMask, const std::string& tableMask, unsigned typeFlags,
              std::vector<CatalogTable>& found);
  // The columns of a table, in the table's order.
  bool columns(const CatalogSource& source, const std::string& qualifier,
               const std::string& creator, const std::string& table,
               std::vector<CatalogColumn>& found);
  // The result columns of a SELECT statement (which is executed, its rows
  // are not read). Remarks are empty.
  bool selectColumns(const CatalogSource& source, const std::string& select,
                     std::vector<CatalogColumn>& found);

  // The driver's message of the last failure.
  const std::string& lastError() const { return lastError_; }

 private:
  bool connect(OdbcConnection& connection, const CatalogSource& source);
  bool fail();

  OdbcEnvironment& environment_;
  std::string lastError_;
};

}  // namespace kestrel
