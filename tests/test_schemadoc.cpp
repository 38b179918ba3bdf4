// store/SCHEMA.md against a database the program makes: every table, column (with its SQLite
// type), index and version of a new database is written down there.
#include "store/database.h"

#include "records_fixture.h"
#include "schema_doc.h"

#include <QSqlQuery>

#include <algorithm>
#include <map>
#include <sstream>

using namespace qarn3;
using namespace qarn3::test;

namespace {

std::vector<std::string> column(QSqlQuery q, int i = 0) {
    std::vector<std::string> values;
    while (q.next())
        values.push_back(q.value(i).toString().toStdString());
    return values;
}

class SchemaDoc : public RecordsDatabaseTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(db.open().ok);
        doc = schemaDoc();
        ASSERT_FALSE(doc.empty()) << "cannot read " << QARN3_SCHEMA_DOC;
    }
    QSqlQuery select(const std::string& text) {
        QSqlQuery q = db.query();
        EXPECT_TRUE(q.exec(QString::fromStdString(text))) << text;
        return q;
    }
    std::vector<std::string> tables() {
        return column(select("SELECT name FROM sqlite_master WHERE type = 'table'"
                             " AND name NOT LIKE 'sqlite_%' ORDER BY name"));
    }

    RecordsDatabase db{DatabaseLocation::file(path)};
    std::string doc;
};

// Each table has its section, and each of its columns a row there with its SQLite type and,
// when it may be NULL, what NULL means.
TEST_F(SchemaDoc, NamesEveryTableAndColumnWithItsType) {
    const std::vector<std::string> names = tables();
    ASSERT_FALSE(names.empty());
    for (const std::string& table : names) {
        const std::string section = sectionOf(doc, "`" + table + "`");
        ASSERT_FALSE(section.empty()) << "SCHEMA.md has no section for the table " << table;
        QSqlQuery q =
            select("SELECT name, type, \"notnull\" OR pk FROM pragma_table_info('" + table + "')");
        int columns = 0;
        while (q.next()) {
            ++columns;
            const std::string name = q.value(0).toString().toStdString();
            const std::string type = q.value(1).toString().toStdString();
            const std::size_t row = section.find("\n| `" + name + "` | " + type + " |");
            EXPECT_NE(row, std::string::npos)
                << "SCHEMA.md's " << table << " has no row for the column " << name << " " << type;
            if (row == std::string::npos) continue;
            // A column that may be NULL says when it is; one that may not never mentions it.
            const std::string line = section.substr(row + 1, section.find('\n', row + 1) - row);
            EXPECT_EQ(line.find("NULL") != std::string::npos, !q.value(2).toBool())
                << "SCHEMA.md's " << table << "." << name << " and NULL: " << line;
        }
        EXPECT_GT(columns, 0) << table;
    }
}

// A table or column SCHEMA.md lists that the database lacks is as wrong as one it leaves out
// (but the server's own version table).
TEST_F(SchemaDoc, ListsNoTableOrColumnTheDatabaseLacks) {
    const std::vector<std::string> names = tables();
    std::istringstream headings(doc);
    for (std::string line; std::getline(headings, line);) {
        if (line.rfind("### `", 0) != 0) continue;
        const std::string table = line.substr(5, line.find('`', 5) - 5);
        EXPECT_TRUE(table == "schema_version" ||
                    std::find(names.begin(), names.end(), table) != names.end())
            << "SCHEMA.md documents a table " << table << " the database lacks";
    }
    for (const std::string& table : names) {
        const std::string section = sectionOf(doc, "`" + table + "`");
        std::map<std::string, bool> real;
        for (const std::string& name :
             column(select("SELECT name FROM pragma_table_info('" + table + "')")))
            real[name] = true;
        std::istringstream lines(section);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind("| `", 0) != 0) continue;
            const std::string name = line.substr(3, line.find('`', 3) - 3);
            EXPECT_TRUE(real.count(name)) << "SCHEMA.md's " << table << " lists " << name;
        }
    }
}

// Every index the steps make is named, and every version up to the newest has its section.
TEST_F(SchemaDoc, NamesEveryIndexAndVersion) {
    for (const std::string& trigger :
         column(select("SELECT name FROM sqlite_master WHERE type = 'trigger'")))
        EXPECT_NE(doc.find("`" + trigger + "`"), std::string::npos)
            << "SCHEMA.md does not name the trigger " << trigger;
    for (const std::string& index :
         column(select("SELECT name FROM sqlite_master WHERE type = 'index'"
                       " AND name NOT LIKE 'sqlite_%'")))
        EXPECT_NE(doc.find("`" + index + " ("), std::string::npos)
            << "SCHEMA.md does not name the index " << index;
    RecordsError e;
    const int version = db.schemaVersion(e);
    ASSERT_FALSE(e) << e.message;
    EXPECT_EQ(version, newestSchemaVersion());
    for (int v = 1; v <= version; ++v)
        EXPECT_FALSE(sectionOf(doc, "Version " + std::to_string(v)).empty())
            << "SCHEMA.md has no section for version " << v;
    EXPECT_NE(doc.find("version **" + std::to_string(version) + "**"), std::string::npos)
        << "SCHEMA.md does not say the newest version is " << version;
}

} // namespace
