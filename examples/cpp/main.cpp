// A C++ host: runs the consignment summary (report 2008609) on an embedded
// database and prints customer, material and the quantity not yet settled
// of its first rows.
//
//   report_host DEMO.db
#include <iostream>
#include <memory>
#include <string>

#include "q8vantorpt/data.h"
#include "q8vantorpt/rpt.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: report_host DEMO.db\n";
    return 2;
  }
  q8::RegisterComponent();
  std::string dsn = std::string("ConnectString={Provider=SQLite;Data Source=") + argv[1] +
                    "};DBMS Name=SQLite;DBMS Version=3;Language=EN;UserID=0";
  auto data = std::make_shared<q8::Data>();
  auto filter = std::make_shared<q8::Dictionary>();
  filter->SetValue("BDate", "2024-12-01");
  filter->SetValue("EDate", "2024-12-31");
  q8::DictionaryPtr sort_fields;  // created by the call
  try {
    q8::ado::RecordsetPtr rs = data->GetRpt2008609Data(dsn, nullptr, filter, sort_fields);
    int rows = 0;
    for (; !rs->IsEOF(); rs->MoveNext(), ++rows) {
      if (rows < 5) {
        std::cout << rs->Value("FCustName").ToText() << " | " << rs->Value("FMaterialName").ToText()
                  << " | " << rs->Value("FNoComQty").ToText() << '\n';
      }
    }
    std::cout << rows
              << " rows; default order: " << sort_fields->GetValue("DefaultOrderBy").ToText()
              << '\n';
  } catch (const q8::Error& e) {
    std::cerr << "error " << e.number() << ": " << e.source() << ": " << e.description() << '\n';
    return 1;
  }
  return 0;
}
