"""python -m trelm: the trelm command."""

import sys

from trelm.cli import main

sys.exit(main())
