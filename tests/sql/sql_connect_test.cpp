// Owner texts, connection strings and the choice of the ODBC driver.
#include <gtest/gtest.h>

#include <cstdlib>

#include "runtime/sql/odbc_session.h"
#include "runtime/sql/sql_connect.h"

using namespace rt;

TEST(ConnectionString, FromTheOwnerParts) {
  struct Case { const char* owner; const char* want; } cases[] = {
      {"srv,data,admin,secreto", "Driver={SQL Server};Server=srv;Database=data;UID=admin;PWD=secreto"},
      {"srv,data,admin", "Driver={SQL Server};Server=srv;Database=data;UID=admin"},
      {"srv,data,admin,", "Driver={SQL Server};Server=srv;Database=data;UID=admin"},
      {"srv,,admin,pw", "Driver={SQL Server};Server=srv;UID=admin;PWD=pw"},
      {",data,admin,pw", "Driver={SQL Server};UID=admin;PWD=pw"},  // no server: no database either
      {"Address=10.1.1.5,data,u", "Driver={SQL Server};Address=10.1.1.5;Database=data;UID=u"},
      {"\"Address=10.1.1.5,1433\",data,u", "Driver={SQL Server};Address={10.1.1.5,1433};Database=data;UID=u"},
      {"127.0.0.1,ortavia_data,ortavia,pw,Port=54329",
       "Driver={SQL Server};Server=127.0.0.1;Database=ortavia_data;UID=ortavia;PWD=pw;Port=54329"},
      {"s,d,u,p,Port=1,Extra", "Driver={SQL Server};Server=s;Database=d;UID=u;PWD=p;Port=1,Extra"},
      {"", "Driver={SQL Server}"},
      {"srv", "Driver={SQL Server};Server=srv"},
  };
  for (const Case& c : cases) EXPECT_EQ(BuildConnectionString("SQL Server", c.owner), c.want) << c.owner;
}

TEST(ConnectionString, OwnerWrittenFromTheEntriesReadsBackAsEntered) {
  const struct Case {
    const char *server, *database, *login, *password;  // as entered
    OwnerParts want;                                   // as read back
  } cases[] = {
      {"srv", "datos", "admin", "", {"srv", "datos", "admin", ""}},
      {"srv", "datos", "admin", "   ", {"srv", "datos", "admin", ""}},
      {" srv  ", "a,b ", "di\"jo", "\"a,\"\"b\"", {" srv", "a,b", "di\"jo", "\"a,\"\"b\""}},
      {"srv", ",", "\"", "p,;=", {"srv", ",", "\"", "p,;="}},
      {"", "", "", "pw", {"", "", "", "pw"}},
  };
  for (const Case& c : cases) {
    const std::string owner = BuildOwner(c.server, c.database, c.login, c.password);
    const OwnerParts p = ParseOwner(owner);
    EXPECT_EQ(p.server, c.want.server) << owner;
    EXPECT_EQ(p.database, c.want.database) << owner;
    EXPECT_EQ(p.login, c.want.login) << owner;
    EXPECT_EQ(p.password, c.want.password) << owner;
    EXPECT_EQ(p.remainder, "") << owner;
  }
  // No password: three parts, no comma after the login.
  EXPECT_EQ(BuildOwner("srv", "datos", "admin", " "), "srv,datos,admin");
}

TEST(ConnectionString, LoginWithUidIsTheWholeConnectionString) {
  const char* owner = "Driver={SQLite3};Database=/tmp/x.db,base,uid=alguien";
  EXPECT_EQ(BuildConnectionString("SQL Server", owner), owner);
}

TEST(ConnectionString, UnsafePartsReachTheServerUnchanged) {
  struct Case { const char* password; const char* attr; } cases[] = {
      {"p;Database=other", "PWD={p;Database=other}"},
      {"a,b", "PWD={a,b}"},
      {"x}y", "PWD={x}}y}"},
      {"{abc", "PWD={{abc}"},
      {"di\"jo", "PWD={di\"jo}"},
      {"Clave 2026=ok", "PWD=Clave 2026=ok"},  // nothing that ends an attribute: exact text
  };
  for (const Case& c : cases) {
    std::string owner = OwnerPart("srv") + "," + OwnerPart("data") + "," + OwnerPart("u") + "," + OwnerPart(c.password);
    EXPECT_EQ(ParseOwner(owner).password, c.password) << owner;
    EXPECT_EQ(BuildConnectionString("D", owner), std::string("Driver={D};Server=srv;Database=data;UID=u;") + c.attr);
  }
  // Server, database and login are quoted the same way.
  std::string owner = OwnerPart("s;Trusted=yes") + "," + OwnerPart("d,b") + "," + OwnerPart("u;x");
  EXPECT_EQ(BuildConnectionString("D", owner), "Driver={D};Server={s;Trusted=yes};Database={d,b};UID={u;x}");
}

TEST(ConnectionString, OwnerPartsRoundTrip) {
  for (std::string part : {"", "plain", "a,b", "\"", "\"\"", "a\"b,c\"", ",", "end\"", "\"start"}) {
    std::string owner = OwnerPart("srv") + "," + OwnerPart(part) + "," + OwnerPart(part) + "," + OwnerPart(part);
    OwnerParts p = ParseOwner(owner);
    EXPECT_EQ(p.server, "srv");
    EXPECT_EQ(p.database, part) << owner;
    EXPECT_EQ(p.login, part) << owner;
    EXPECT_EQ(p.password, part) << owner;
    EXPECT_EQ(p.remainder, "");
  }
  EXPECT_EQ(OwnerPart("sin comas"), "sin comas");
}

// Connection strings, and the drivers' messages that echo one or a part of one.
TEST(ConnectionString, EveryPasswordValueIsMaskedInConnectionStringsAndDriverMessages) {
  struct Case {
    const char* text;
    const char* masked;
  } cases[] = {
      {"Driver={X};Server=s;UID=u;PWD={a;b}}c};Port=1", "Driver={X};Server=s;UID=u;PWD=********;Port=1"},
      {"Driver={X};Server=s;UID=u;PWD=secreto", "Driver={X};Server=s;UID=u;PWD=********"},
      {"Driver={X};Server=s", "Driver={X};Server=s"},
      // Either key in any case, blanks around it, a braced value after blanks.
      {"pwd=secreto;Password =secreto;PassWord={se}}cr;eto};x=1", "pwd=********;Password =********;PassWord=********;x=1"},
      {" PWD= {se;creto} ;Port=1", " PWD=********;Port=1"},
      // A bare value runs to the semicolon, braces and all.
      {"UID=sa;PWD=se}creto{;Port=1", "UID=sa;PWD=********;Port=1"},
      // A key that ends a longer name is another key.
      {"OLDPWD=a;MyPassword=b;PWDX=c;Password_2=d", "OLDPWD=a;MyPassword=b;PWDX=c;Password_2=d"},
      // Entries echoed inside their braces: the value ends at the brace that closes them.
      {"could not translate host name \"{127.0.0.1;PWD=secreto}\" to address: Name or service not known",
       "could not translate host name \"{127.0.0.1;PWD=********}\" to address: Name or service not known"},
      {"FATAL:  password authentication failed for user \"{ortavia;pwd=secr}}eto}\"",
       "FATAL:  password authentication failed for user \"{ortavia;pwd=********}\""},
      {"database \"{d;PWD={se;cr}}eto}}}\" does not exist", "database \"{d;PWD=********"},
      // A value ends with its line; the next line is kept.
      {"first PWD=secreto\nsecond line", "first PWD=********\nsecond line"},
      {"password authentication failed for user \"ortavia\"", "password authentication failed for user \"ortavia\""},
  };
  for (const Case& c : cases) EXPECT_EQ(MaskPassword(c.text), c.masked) << c.text;
}

TEST(ConnectionString, TraceMasksThePasswordInEveryForm) {
  struct Case {
    const char* owner;
    const char* traced;
  } cases[] = {
      {"srv,db,sa,secreto", "Driver={X};Server=srv;Database=db;UID=sa;PWD=********"},
      {"srv,db,sa,\"se,creto\"", "Driver={X};Server=srv;Database=db;UID=sa;PWD=********"},
      {"srv,db,sa,secreto,Port=1;Password=otro", "Driver={X};Server=srv;Database=db;UID=sa;PWD=********;Port=1;Password=********"},
      {"srv,db,sa", "Driver={X};Server=srv;Database=db;UID=sa"},
      // The owner text itself is the connection string: its password part and PWD values are masked.
      {"srv,db,UID=sa,secreto", "srv,db,UID=sa,********"},
      {"srv,db,UID=sa;PWD=secreto", "srv,db,UID=sa;PWD=********"},
      {"srv,db,uid=sa; pwd ={se;creto},secreto,Port=1", "srv,db,uid=sa; pwd =********"},
      // A connection string typed as the server part stays inside its value, masked there too.
      {"Driver={Y};UID=sa;PWD=secreto", "Driver={X};Server={Driver={Y}};UID=sa;PWD=********}"},
  };
  for (const Case& c : cases) {
    const std::string traced = TracedConnectionString("X", c.owner);
    EXPECT_EQ(traced, c.traced) << c.owner;
    EXPECT_EQ(traced.find("secreto"), std::string::npos) << c.owner;
  }
}

TEST(ConnectionString, TraceOfAConnectionInTheUidFormShowsNoPassword) {
  ::setenv("ORTAVIA_SQL_TRACE", "1", 1);
  ::setenv("ORTAVIA_SQL_DRIVER", "SQLite3", 1);
  for (const char* owner : {"x,/nonexistent/a.db,UID=ortavia;PWD=secreto", "x,/nonexistent/a.db,UID=ortavia,secreto"}) {
    ::testing::internal::CaptureStderr();
    static_cast<void>(OdbcConnect(owner));
    const std::string trace = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(trace.find("connect x,/nonexistent/a.db,UID=ortavia"), std::string::npos) << trace;
    EXPECT_EQ(trace.find("secreto"), std::string::npos) << trace;
  }
  ::unsetenv("ORTAVIA_SQL_TRACE");
  ::unsetenv("ORTAVIA_SQL_DRIVER");
}

TEST(OdbcDriverChoice, CandidatesAndOrder) {
  EXPECT_EQ(ChooseOdbcDriver({"SQLite3", "SQL Server", "SQL Native Client 10.0", "SQL Server"}, ""),
            "SQL Native Client 10.0");
  EXPECT_EQ(ChooseOdbcDriver({"SQLite3", "SQL Server Native"}, ""), "SQL Server Native");
  EXPECT_EQ(ChooseOdbcDriver({"SQLite3", "PostgreSQL Unicode"}, ""), std::nullopt);
  EXPECT_EQ(ChooseOdbcDriver({"SQL Server", "PostgreSQL ANSI", "PostgreSQL Unicode"}, "PostgreSQL"),
            "PostgreSQL ANSI");
  EXPECT_EQ(ChooseOdbcDriver({"SQL Server"}, "NoSuchDriver"), std::nullopt);
  // Only eight names are looked at.
  std::vector<std::string> many(8, "Other");
  many.push_back("SQL Server");
  EXPECT_EQ(ChooseOdbcDriver(many, ""), std::nullopt);
}

TEST(ServerMessages, LeadingTagsAreStripped) {
  EXPECT_EQ(StripBracketTags("[unixODBC][Driver Manager]Data source name not found"), "Data source name not found");
  EXPECT_EQ(StripBracketTags("[Vendor][SQL Native Client][SQL Server]Invalid object name 'X'."),
            "Invalid object name 'X'.");
  EXPECT_EQ(StripBracketTags("no tags [here]"), "no tags [here]");
}
