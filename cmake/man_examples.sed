# SPDX-License-Identifier: BSD-3-Clause
# help2man fills the EXAMPLES section into one paragraph; each example is a command line
# of its own, so the section is set without filling.
/^\.SH EXAMPLES/,/^\.SH/{
/^\.IP$/a .nf
/^\.SH/{
/EXAMPLES/!i .fi
}
}
