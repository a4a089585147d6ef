#include "about_dlg.h"

namespace quorvel {

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()

}  // namespace quorvel
