// The author's addresses: shown as the About box's two link texts and handed
// to the shell when they are clicked. Shared by the resource script and the
// C++ code so that what is shown is what is opened.
#pragma once

#define VX_HOME_PAGE_URL "https://vextrane.example.org/"
#define VX_MAIL_ADDRESS "vextrane@example.org"
#define VX_MAIL_SCHEME "mailto:"
