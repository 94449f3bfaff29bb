"""python3 -m qemu_suite boot|figures|test ...: see runner.main."""
from qemu_suite.runner import main

main()
