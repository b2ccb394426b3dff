# The pagoric command: added with the build driver.
