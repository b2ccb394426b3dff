pagoric_add_layer(generator
  DEPENDS pagoric_document pagoric_project
)
