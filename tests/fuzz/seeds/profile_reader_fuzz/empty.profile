pxab-profile 1
end 0 0
