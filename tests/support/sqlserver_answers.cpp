// SQL Server's type list and information items, as both stand-ins answer them.
#include "support/sqlserver_answers.h"

namespace sqlserver {

const std::vector<TypeRow>& TypeRows() {
  static const std::vector<TypeRow> rows = {
      {-11, "uniqueidentifier", nullptr, 36, "'", "'"},
      {-10, "ntext", nullptr, 1073741823, "N'", "'"},
      {-9, "nvarchar", "max length", 4000, "N'", "'"},
      {-9, "sysname", nullptr, 128, "N'", "'"},
      {-8, "nchar", "length", 4000, "N'", "'"},
      {-7, "bit", nullptr, 1, nullptr, nullptr},
      {-6, "tinyint", nullptr, 3, nullptr, nullptr},
      {-6, "tinyint identity", nullptr, 3, nullptr, nullptr},
      {-5, "bigint", nullptr, 19, nullptr, nullptr},
      {-5, "bigint identity", nullptr, 19, nullptr, nullptr},
      {-4, "image", nullptr, 2147483647, "0x", nullptr},
      {-3, "varbinary", "max length", 8000, "0x", nullptr},
      {-3, "timestamp", nullptr, 8, "0x", nullptr},
      {-2, "binary", "length", 8000, "0x", nullptr},
      {-1, "text", nullptr, 2147483647, "'", "'"},
      {1, "char", "length", 8000, "'", "'"},
      {2, "numeric", "precision,scale", 38, nullptr, nullptr},
      {2, "numeric() identity", "precision", 38, nullptr, nullptr},
      {3, "decimal", "precision,scale", 38, nullptr, nullptr},
      {3, "money", nullptr, 19, "$", nullptr},
      {3, "smallmoney", nullptr, 10, "$", nullptr},
      {3, "decimal() identity", "precision", 38, nullptr, nullptr},
      {4, "int", nullptr, 10, nullptr, nullptr},
      {4, "int identity", nullptr, 10, nullptr, nullptr},
      {5, "smallint", nullptr, 5, nullptr, nullptr},
      {5, "smallint identity", nullptr, 5, nullptr, nullptr},
      {6, "float", nullptr, 53, nullptr, nullptr},
      {7, "real", nullptr, 24, nullptr, nullptr},
      {11, "datetime", nullptr, 23, "'", "'"},
      {11, "smalldatetime", nullptr, 16, "'", "'"},
      {12, "varchar", "max length", 8000, "'", "'"},
  };
  return rows;
}

const Information& Info() {
  static const Information info = {
      "SQL Server",
      "16.00.1000",
      "\"",
      4,  // SQL_IC_MIXED
      4,  // SQL_IC_MIXED
      1,  // SQL_NNC_NON_NULL
      2,  // SQL_TC_ALL
      "BREAK,BROWSE,BULK,CHECKPOINT,CLUSTERED,COMPUTE,CONTAINS,CONTAINSTABLE,DATABASE,DBCC,"
      "DENY,DISK,DISTRIBUTED,DUMMY,DUMP,ERRLVL,EXIT,FILE,FILLFACTOR,FREETEXT,FREETEXTTABLE,"
      "FUNCTION,HOLDLOCK,IDENTITY_INSERT,IDENTITYCOL,IF,KILL,LINENO,LOAD,NOCHECK,NONCLUSTERED,"
      "OFF,OFFSETS,OPENDATASOURCE,OPENQUERY,OPENROWSET,OPENXML,OVER,PERCENT,PLAN,PRINT,PROC,"
      "RAISERROR,READ,READTEXT,RECONFIGURE,REPLICATION,RESTORE,RETURN,ROWCOUNT,ROWGUIDCOL,RULE,"
      "SAVE,SETUSER,SHUTDOWN,STATISTICS,TEXTSIZE,TOP,TRAN,TRIGGER,TRUNCATE,TSEQUAL,UPDATETEXT,"
      "USE,WAITFOR,WHILE,WRITETEXT",
      "\\",
  };
  return info;
}

}  // namespace sqlserver
