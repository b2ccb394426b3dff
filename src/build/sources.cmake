pagoric_add_layer(build
  DEPENDS pagoric_generator pagoric_project
)
