pagoric_add_layer(project
  DEPENDS pagoric_document
)
