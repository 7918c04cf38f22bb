// Effect modules are added to this library one file each.
